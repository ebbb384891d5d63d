#include "platform/WindowHost.h"
