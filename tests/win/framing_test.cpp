#include <gtest/gtest.h>

#include "net/frame_splitter.h"

#include "../common/frame_splitter_cases.inc"
