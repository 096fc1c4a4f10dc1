#pragma once
// A broken property stops the fuzzer and names the condition.
#include <cstdio>
#include <cstdlib>

#define REQUIRE(ok) ((ok) ? void() : (std::fprintf(stderr, "broken: %s\n", #ok), std::abort()))
