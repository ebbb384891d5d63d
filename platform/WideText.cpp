#include "platform/WideText.h"

namespace {

constexpr UINT kTextCodePage = 936;

// The length a decoding needs, terminator included; 0 when the bytes cannot
// be decoded in that code page.
int decodedLength(UINT codePage, const char* bytes) {
    return MultiByteToWideChar(codePage, 0, bytes, -1, nullptr, 0);
}

}  // namespace

WideText::WideText(const char* codePage936) {
    if (codePage936 == nullptr) return;
    // Should the 936 table be missing after all, the system's own code page
    // still gives the ASCII texts right.
    UINT codePage = kTextCodePage;
    int needed = decodedLength(codePage, codePage936);
    if (needed == 0) {
        codePage = CP_ACP;
        needed = decodedLength(codePage, codePage936);
    }
    if (needed <= 0) return;
    if (needed > static_cast<int>(sizeof inline_ / sizeof inline_[0])) {
        auto* heap = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, sizeof(wchar_t) * static_cast<SIZE_T>(needed)));
        if (heap == nullptr) return;
        text_ = heap;
    }
    // The decoding writes the terminator too.
    if (MultiByteToWideChar(codePage, 0, codePage936, -1, text_, needed) == 0) text_[0] = L'\0';
}

WideText::~WideText() {
    if (text_ != inline_) LocalFree(text_);
}
