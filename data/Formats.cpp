#include "data/Formats.h"
