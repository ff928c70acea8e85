#include "controls/SkinBitmap.h"
