// The machine-wide settings store: named values of a few types under a key, readable by
// every user and writable only with administrative rights. A write that is not allowed
// leaves the store untouched and says nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

enum Reg_Root_Key { HKEY_LOCAL_MACHINE };

// Value types: 0 unknown (keep the stored type), 1 string, 2 expandable string, 3 32-bit
// integer, 4 binary.
enum Reg_Data_Type { REG_TYPE_UNKNOWN = 0, REG_TYPE_STRING = 1, REG_TYPE_EXPAND = 2, REG_TYPE_INTEGER = 3, REG_TYPE_BINARY = 4 };

struct Reg_Value {
  Reg_Data_Type type = REG_TYPE_STRING;
  std::variant<std::string, std::int32_t, std::vector<std::uint8_t>> data;
};

// The settings key of the program.
inline constexpr const char* kSettingsKey = "\\Software\\Quillorane\\Platterscope";

// The file that holds the store: $PLATTERSCOPE_SETTINGS when set, otherwise
// /etc/Quillorane/Platterscope.conf.
std::string Settings_File();

// The value, or nothing when it cannot be read. A store larger than 1 MiB (the program's has
// a few lines) is neither read nor rewritten, and the log says so once. Machine names another computer's store,
// which cannot be reached here: a non-empty machine gives nothing.
std::optional<Reg_Value> Reg_Read_Value(Reg_Root_Key root, const std::string& key, const std::string& name,
                                        const std::string& machine);

// Writes a value; type 0 keeps the type the value has (a value that does not exist yet is
// then not written). Failures are silent. Only the value's own line changes: lines the store
// does not understand are kept as they are. The store is replaced whole (a new file of a
// random name, synced, renamed over it); it keeps its permission bits when it is the user's
// own and is 0644 otherwise or when it is new. Its folder is made 0755, and a folder that
// anyone but its owner can write to is never written in.
void Reg_Write_Value(Reg_Root_Key root, const std::string& key, const std::string& name, Reg_Data_Type type,
                     const Reg_Value& value);

// Why the last Reg_Write_Value of this process left the store as it was ("it is a link, not
// the store itself", "Cannot use folder …: others may write to it", "it is larger than 1 MiB
// …"); empty after one that wrote it.
std::string Reg_Last_Write_Failure();

// A read value as text: strings as they are, integers in decimal, binary as hex digits,
// nothing as "".
std::string Reg_Value_Text(const std::optional<Reg_Value>& value);
