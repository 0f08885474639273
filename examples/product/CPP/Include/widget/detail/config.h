#pragma once
#define WIDGET_VERSION 3
