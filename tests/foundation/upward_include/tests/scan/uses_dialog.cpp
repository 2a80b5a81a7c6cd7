// A scan test that takes the dialog: refused.
#include "ui/dialog_front_end.h"
