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
    explicit TempFolder(std::string const& label = "perimand e2e");
    ~TempFolder();
    TempFolder(TempFolder const&) = delete;
    TempFolder& operator=(TempFolder const&) = delete;

    // Copies `source` into the folder as `name` and returns the copy's
    // path. Throws when the copy fails.
    std::string CopyIn(std::string const& source, std::string const& name);

private:
    std::string path_;
};

// "/a/b/c.exe" as Wine's Z: drive sees it ("Z:\a\b\c.exe"); anything that is
// not an absolute host path is returned unchanged. Build paths reach the
// tests as host paths through compile definitions.
std::string HostPathToWindows(std::string const& path);

}  // namespace e2e
