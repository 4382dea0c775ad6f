#include "shell/config.h"
