#include "platform/KeyChordInjector.h"
