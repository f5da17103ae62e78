#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Each subsystem's tests build into one executable. Every test class registers
// itself under a short name; CTest runs one class per test (`tst_storage ini`)
// and the executable without arguments runs them all.
namespace TestRegistry {

using Factory = std::function<std::unique_ptr<QObject>()>;
bool add(const char* name, Factory factory);

} // namespace TestRegistry

#define QUORREL_TEST(Class, name)                                                              \
    static const bool registered_##Class =                                                     \
        TestRegistry::add(name, [] { return std::unique_ptr<QObject>(new Class); });
