// A folder of its own for each test, for copies of the programs under test.
#pragma once

#include <string>

namespace e2e {

// A new, empty folder under the temporary folder, removed with everything in
// it when the object goes. `label` becomes part of its name; a label with a
// blank makes every path inside it need quoting, which tests of command-line
// handling want. Throws std::runtime_error when the folder cannot be made.
class TempFolder {
public:
    explicit TempFolder(const std::string& label = "perimand e2e");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Copies `source` into the folder as `name` and returns the copy's
    // path. Throws when the copy fails.
    std::string CopyIn(const std::string& source, const std::string& name);

private:
    std::string path_;
};

// "/a/b/c.exe" as Wine's Z: drive sees it ("Z:\a\b\c.exe"); anything that is
// not an absolute host path is returned unchanged. Build paths reach the
// tests as host paths through compile definitions.
std::string HostPathToWindows(const std::string& path);

}  // namespace e2e
