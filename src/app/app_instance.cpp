#include "app/app_instance.h"

HINSTANCE AppInstance = NULL;
