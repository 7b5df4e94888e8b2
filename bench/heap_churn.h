#pragma once
// zel_bench --churn ROUNDS [--no-view]: the soak's rounds in-process, with the heaps walked
// every 25 rounds (see heap_churn.cpp).
namespace zelbench {

int HeapChurnMain(int rounds, bool view);

} // namespace zelbench
