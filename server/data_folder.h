// Making a new data folder: configuration, keys, and the www/ tree the files are served from.
#pragma once

#include <string>

// Creates folder (when missing) with a commented configuration naming public_host, a fresh
// signing key pair and serial key, and www/ with ads/, installers/ and a news page. Never
// replaces an existing configuration or key: throws std::runtime_error instead. Returns
// the public key as 64 hex digits.
std::string Init_Data_Folder(const std::string& folder, const std::string& public_host);
