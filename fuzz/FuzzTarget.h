#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// A valid input of the target's format to start mutations from.
QByteArray fuzzSeed();
