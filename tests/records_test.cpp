#include <gtest/gtest.h>

#include "ulvex/ulvex.h"

TEST(Smoke, Builds) { SUCCEED(); }
