// A scan file that reaches up into the dialog: the check must refuse it.
#include "ui/show_message.h"
