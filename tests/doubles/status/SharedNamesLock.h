// Tests in different processes share machine-wide names: the status block,
// its mutex and the "Vandrel Service" registration. ctest may run them side
// by side, so whoever uses those names holds this lock (a named mutex; the
// same thread may take it again).
#pragma once

#include "win32/UniqueHandle.h"

namespace perimand_test {

class SharedNamesLock {
public:
    SharedNamesLock();
    ~SharedNamesLock();
    SharedNamesLock(SharedNamesLock const&) = delete;
    SharedNamesLock& operator=(SharedNamesLock const&) = delete;

    bool held() const { return held_; }

private:
    UniqueKernelHandle mutex_;
    bool held_ = false;
};

}  // namespace perimand_test
