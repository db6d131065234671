#pragma once

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// Valid inputs of the target's formats to start mutations from.
QList<QByteArray> fuzzSeeds();
