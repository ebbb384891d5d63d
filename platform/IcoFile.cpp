#include "platform/IcoFile.h"
