#include "platform/TrayIcon.h"
