#include "controls/TextLabelCtrl.h"
