#pragma once
#include "widget/detail/config.h"
int WidgetVersion();
