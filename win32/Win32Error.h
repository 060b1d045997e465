// Win32 error codes in words, for the programs' one-line messages.
#pragma once

#include <string>

namespace win32 {

// "error 183: Cannot create a file when that file already exists."
std::string DescribeWin32Error(unsigned long code);

}  // namespace win32
