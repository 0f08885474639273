// ReadRegistryString on the in-memory platform.
#include <gtest/gtest.h>
