// One-off undo: runs a callable when the scope ends, unless Release() said
// the work it would undo succeeded. For a step taken back on every early
// return, written once instead of before each of them:
//     ScopeExit takeBack([&] { if (created) DeleteIt(); });
//     ...
//     takeBack.Release();
#pragma once

#include <utility>

template <typename Undo>
class ScopeExit {
public:
    explicit ScopeExit(Undo undo) : undo_(std::move(undo)) {}
    ~ScopeExit() {
        if (armed_) undo_();
    }

    ScopeExit(ScopeExit const&) = delete;
    ScopeExit& operator=(ScopeExit const&) = delete;

    // The work is done: nothing to undo.
    void Release() noexcept { armed_ = false; }

private:
    Undo undo_;
    bool armed_ = true;
};
