#include "shell/ini_file.h"
