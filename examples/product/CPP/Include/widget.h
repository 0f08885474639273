#include "widget/widget.h"
