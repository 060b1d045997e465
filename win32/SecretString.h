// A password in a std::string, wiped wherever its bytes would otherwise be
// left behind: when the owner goes, when it is given a new value, when it
// grows and when it is moved from. Header-only and free of windows.h, as the
// NUT protocol code that holds credentials also builds natively.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

// Zeroes every byte `text` owns, the unused room after its end and the
// small-string buffer included, then empties it. A volatile loop, which is
// what SecureZeroMemory is, so the compiler cannot drop it as a dead store.
inline void WipeString(std::string& text) noexcept {
    // Within the capacity resize never reallocates; it brings the tail into
    // reach of the loop below.
    text.resize(text.capacity());
    volatile char* bytes = &text[0];
    for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
    text.clear();
}

// Wipes a plain string when the scope ends, whichever way it ends, for text
// that must pass through a std::string (a dialog's field). The string must
// outlive it.
class ScopedWipe {
public:
    explicit ScopedWipe(std::string& secret) : secret_(secret) {}
    ~ScopedWipe() { WipeString(secret_); }
    ScopedWipe(ScopedWipe const&) = delete;
    ScopedWipe& operator=(ScopedWipe const&) = delete;

private:
    std::string& secret_;
};

class SecretString {
public:
    SecretString() = default;
    // Not explicit: a struct holding one is filled from a plain string.
    SecretString(std::string const& text) { Append(text.data(), text.size()); }
    SecretString(char const* text) { Append(text, std::char_traits<char>::length(text)); }
    SecretString(SecretString const& other) { Append(other.text_.data(), other.text_.size()); }
    SecretString(SecretString&& other) noexcept : text_(std::move(other.text_)) { WipeString(other.text_); }
    ~SecretString() { WipeString(text_); }

    SecretString& operator=(SecretString const& other) {
        if (this != &other) Assign(other.text_.data(), other.text_.size());
        return *this;
    }
    SecretString& operator=(SecretString&& other) noexcept {
        if (this != &other) {
            WipeString(text_);
            text_ = std::move(other.text_);
            WipeString(other.text_);
        }
        return *this;
    }

    std::string const& get() const noexcept { return text_; }
    bool empty() const noexcept { return text_.empty(); }

    void Assign(char const* data, std::size_t size) {
        WipeString(text_);
        Append(data, size);
    }
    // Growing moves the text to a larger block and wipes the old one.
    void Append(char const* data, std::size_t size) {
        if (text_.size() + size > text_.capacity()) {
            std::string grown;
            grown.reserve(text_.size() + size > 2 * text_.capacity() ? text_.size() + size : 2 * text_.capacity());
            grown.assign(text_);
            WipeString(text_);
            text_ = std::move(grown);
        }
        text_.append(data, size);
    }
    void clear() noexcept { WipeString(text_); }

private:
    std::string text_;
};
