#pragma once
// One Qt Test executable per folder: each test class registers itself here,
// and the shared main() runs every registered class in turn. Arguments given
// on the command line are passed to each class (for example a test function
// name, or -v2). A class registers with a line of its own,
// "HEXVAC_TEST(Class);", which is also where CMake finds it to give the class
// its CTest entry.

#include <QObject>
#include <functional>
#include <vector>

namespace TestRegistry {

using Factory = std::function<QObject*()>;

std::vector<Factory>& Factories();

struct Registration {
    explicit Registration(Factory f) { Factories().push_back(std::move(f)); }
};

} // namespace TestRegistry

#define HEXVAC_TEST(Class)                                                                         \
    static TestRegistry::Registration registration_##Class([] { return new (Class); })
