/* The program's version, kept in an ELF note so that Get_File_Version can read it back
   from the executable file: owner "Platterscope", type 1, four 16-bit fields. */
#include <stdint.h>

#include "platterscope_version.h"

struct ps_version_note {
  uint32_t namesz;
  uint32_t descsz;
  uint32_t type;
  char name[16];
  uint16_t version[4];
};

__attribute__((section(".note.platterscope.version"), aligned(4), used))
static const struct ps_version_note ps_version_note = {
    13, 8, 1, "Platterscope",
    {PS_VERSION_MAJOR, PS_VERSION_MINOR, PS_VERSION_PATCH, PS_VERSION_BUILD}};
