#pragma once

#include <windows.h>

// A code page 936 text decoded to UTF-16, for the wide forms of the Windows
// functions: handed to the ANSI forms, the bytes would be read in the
// system's own ANSI code page and show as other characters wherever that is
// not 936. Every Windows has the 936 table, whatever its language.
class WideText {
public:
    explicit WideText(const char* codePage936);
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    ~WideText();

    // Terminated; empty when the bytes could not be decoded.
    const wchar_t* text() const { return text_; }

private:
    // Enough for the program's own texts, so that they need no allocation.
    wchar_t inline_[64] = {};
    wchar_t* text_ = inline_;
};
