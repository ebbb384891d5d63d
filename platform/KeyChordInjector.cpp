#include "platform/KeyChordInjector.h"

namespace {

// The byte a key stands for. A text is looked up by its first byte only: for
// a two-byte character that is the lead byte. The shift state that the
// character would need is dropped, so no modifier is pressed on its account.
BYTE resolveKey(const ChordKey& key) {
    if (!key.isText()) {
        return static_cast<BYTE>(key.virtualKey() & 0xFF);
    }
    // The thread's layout can change between keys, so it is asked each time.
    const HKL layout = GetKeyboardLayout(0);
    const SHORT scanned = VkKeyScanExA(static_cast<CHAR>(key.firstTextByte()), layout);
    return static_cast<BYTE>(scanned & 0xFF);
}

}  // namespace

void KeyChordInjector::sendKeyChord(ChordKey first, ChordKey second, ChordKey third) {
    // All keys are resolved before the first event, so the chord goes out in
    // one piece with no lookups between its events.
    const BYTE keys[3] = {resolveKey(first), resolveKey(second), resolveKey(third)};

    // The first key is always sent; a second or third of byte 0 is absent.
    // No scan code and no extended-key flag: the system fills in the scan
    // code from the virtual key, and the shell's desktop switch reacts to
    // the virtual keys alone.
    for (int i = 0; i < 3; ++i) {
        if (i == 0 || keys[i] != 0) {
            keyEvent_(keys[i], 0, 0, 0);
        }
    }
    // Released in the order pressed, not in reverse.
    for (int i = 0; i < 3; ++i) {
        if (i == 0 || keys[i] != 0) {
            keyEvent_(keys[i], 0, KEYEVENTF_KEYUP, 0);
        }
    }
}
