// The one way a test puts a stand-in in place of system calls. A part of the
// program that depends on the system declares an interface of the calls it
// makes and installs its live implementation; a test swaps in its own for a
// scope with ScopedSeam. A real system can't be made to refuse, time out or
// hand back a cut path on demand; a stand-in can.
//
// The header that declares an interface Api also declares its slot,
//     template <> Api* Seam<Api>::current_;
// and the one source file that holds the live implementation defines it:
//     template <> Api* Seam<Api>::current_ = &liveImplementation;
#pragma once

template <typename Api>
class Seam {
public:
    // The implementation in use.
    static Api& Current() { return *current_; }

private:
    template <typename>
    friend class ScopedSeam;
    static Api* current_;
};

template <typename Api>
class ScopedSeam {
public:
    explicit ScopedSeam(Api& standIn) : previous_(Seam<Api>::current_) { Seam<Api>::current_ = &standIn; }
    ~ScopedSeam() { Seam<Api>::current_ = previous_; }
    ScopedSeam(ScopedSeam const&) = delete;
    ScopedSeam& operator=(ScopedSeam const&) = delete;

private:
    Api* previous_;
};
