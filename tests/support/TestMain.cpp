#include "tests/support/TestRegistry.h"

#include <QTest>
#include <memory>

#ifdef HEXVAC_TEST_CORE_ONLY
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif

std::vector<TestRegistry::Factory>& TestRegistry::Factories() {
    static std::vector<Factory> factories;
    return factories;
}

// Runs every registered test class (or only the one named by the
// environment variable HEXVAC_TEST_CLASS); the exit code counts the classes
// that had a failure, so CTest sees any failure at all. A class name that
// matches no class is a failure too, or a renamed class would pass unrun.
int main(int argc, char** argv) {
    TestApplication app(argc, argv);
    const QByteArray only = qgetenv("HEXVAC_TEST_CLASS");
    int failedClasses = 0;
    bool ran = false;
    for (const auto& factory : TestRegistry::Factories()) {
        std::unique_ptr<QObject> test(factory());
        if (!only.isEmpty() && only != test->metaObject()->className())
            continue;
        ran = true;
        if (QTest::qExec(test.get(), argc, argv) != 0)
            ++failedClasses;
    }
    if (!ran) {
        qCritical("HEXVAC_TEST_CLASS=%s: no such test class here", only.constData());
        return 1;
    }
    return failedClasses;
}
