#include "controls/BmpBtnCtrl.h"
