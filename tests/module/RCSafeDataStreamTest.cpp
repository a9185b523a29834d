#include <gtest/gtest.h>
#include "module/RCBusRecords.h"
TEST(X, Y) {}
