#pragma once

#include <windows.h>

#include "app/Types.h"

// Makes the system see up to three keys pressed together and released, by
// feeding synthetic key events into its input stream.
class KeyChordInjector {
public:
    // The one call whose effect tests record; the product uses keybd_event.
    using KeyEventFunction = void(WINAPI*)(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo);

    explicit KeyChordInjector(KeyEventFunction keyEvent = &keybd_event) : keyEvent_(keyEvent) {}

    void sendKeyChord(ChordKey first, ChordKey second, ChordKey third);

private:
    KeyEventFunction keyEvent_;
};
