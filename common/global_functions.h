// The program's shared helper routines: sizes and texts, the clock, files and folders,
// the executable's own facts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A point in time as a day count: the integer part counts days since 30 December 1899,
// the fraction is the time of day (local wall-clock time).
using TDateTime = double;

// Pumps the window's pending messages once; an empty pump does nothing.
using Message_Pump = std::function<void()>;

// ---- texts and numbers ----

// A byte count as text with a unit: " bytes", " KB", " MB", " GB", " TB" (decimal units, or
// binary ones with binary set). pattern "0.##": at most two decimals, trailing zeros
// dropped, the locale's decimal separator. A negative count gives "0".
std::string Format_Size(std::int64_t count, const std::string& pattern, bool binary);
// count written in the unit Format_Size chooses for unit_of: two figures in one unit, e.g.
// "25.96 MB" beside "20.97 MB".
std::string Format_Size_As(std::int64_t count, std::int64_t unit_of, const std::string& pattern, bool binary);

// Replaces every occurrence of old_text by new_text, searching again from the start after
// each replacement. new_text must not contain old_text.
std::string Replace_Text(std::string text, const std::string& old_text, const std::string& new_text);

// Empties every element of parts, cuts text (with one delimiter appended) at each
// delimiter, stores the pieces from element 0 on and returns the index of the last piece.
// Throws std::out_of_range when there are more pieces than parts has elements.
int Split_String(std::vector<std::string>& parts, const std::string& text, const std::string& delimiter);

// The first / last n characters (UTF-8 characters, not bytes).
std::string Left_Chars(const std::string& text, int n);
std::string Right_Chars(const std::string& text, int n);

// Pads text on the left (side 0) or right (side 1) with fill until it is width characters.
std::string Pad_String(const std::string& text, int width, const std::string& fill, int side);

// The text between the first opening tag and the first closing tag, tags found without
// regard to letter case; empty when either is missing or out of order.
std::string Get_Tag_Value(const std::string& open_tag, const std::string& close_tag, const std::string& text);

// The trimmed text as a signed 64-bit number; empty gives 0; a text that is not a number
// logs one line and gives 0.
std::int64_t Str_To_Int64_Safe(const std::string& text);

// ---- time ----

// Reseeds the pseudo-random generator from the clock and fills n bytes with values 0..254.
bool Fill_Random_Buffer(void* buffer, std::size_t n);

// Sleeps 100 ms and pumps messages, again and again, until seconds have passed; at least
// one step.
void Wait_With_Messages(int seconds, const Message_Pump& pump);

// Whole milliseconds between two timestamps, rounded to the nearest; an end before the
// start by less than a day gives the magnitude.
std::int64_t Milliseconds_Between(TDateTime start, TDateTime end);

// ---- files and folders (paths use "/") ----

// The size of the first directory entry matching path (wildcards allowed in the name);
// 0 when none matches; with kilobytes set and a size above 1,024 the size / 1,024.
std::int64_t Get_File_Size(const std::string& path, bool kilobytes);

// Bytes available to the caller on the file system holding path; -1 when it cannot be asked.
std::int64_t Get_Disk_Free(const std::string& path);

// folder (a "/" appended when missing) + prefix + digits from the clock (ASCII digits in any
// locale) + extension, for a file that does not exist yet.
std::string Make_Unique_Name(std::string folder, const std::string& prefix, const std::string& extension);

// Deletes every plain file directly in folder whose name matches mask (not sub-folders,
// not hidden files); with remove set then removes the folder and returns whether that
// worked, otherwise returns whether no matching plain file is left.
bool Clear_Folder(std::string folder, const std::string& mask, bool remove);
void Delete_Folder_Files(const std::string& folder, const std::string& mask);

// True when at least one plain file matches the wildcard path.
bool Matching_File_Exists(const std::string& mask);

// Appends the full path of every file directly in folder that matches mask, in listing
// order, then does the same for each sub-folder (names not beginning with "."), depth
// first, pumping messages between. Returns false (and logs) on an error.
bool Find_Files(std::vector<std::string>& list, std::string folder, const std::string& mask,
                const Message_Pump& pump = {});

// The running executable's folder (with a trailing "/") and full path.
std::string Get_Application_Folder();
std::string Get_Application_File();

// The program version embedded in file (the running executable when file is empty): fields
// 0 or 4 "a.b.c.d", 3 "a.b.c", 2 "a.b", 1 "a", anything else "". A file without a version
// gives "".
std::string Get_File_Version(int fields, const std::string& file);

// The temporary folder, ending with "/".
std::string Get_Temp_Folder();

// Computer and user name, trimmed and lower-cased.
std::string Get_Computer_Name();
std::string Get_User_Name();
