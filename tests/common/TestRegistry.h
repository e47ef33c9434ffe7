#pragma once

// Several Qt Test classes in one executable per library: each test file registers its class,
// and the executable's main runs them all in order of registration.
#include <QObject>
#include <QtTest>

#include <functional>
#include <memory>
#include <vector>

namespace TestRegistry {

inline std::vector<std::function<std::unique_ptr<QObject>()>>& Classes()
{
    static std::vector<std::function<std::unique_ptr<QObject>()>> classes;
    return classes;
}

template <typename T> struct Registrar {
    Registrar()
    {
        Classes().push_back([] { return std::make_unique<T>(); });
    }
};

// Runs every registered class; a class name as the first argument runs that class only
// (the remaining arguments go to Qt Test, for example a test function's name).
inline int RunAll(int argc, char** argv)
{
    int status = 0;
    const QString only = argc > 1 && argv[1][0] != '-' ? QString::fromLocal8Bit(argv[1]) : QString();
    for (const auto& make : Classes()) {
        std::unique_ptr<QObject> test = make();
        if (!only.isEmpty()) {
            if (only != QLatin1String(test->metaObject()->className()))
                continue;
            std::vector<char*> rest{argv[0]};
            rest.insert(rest.end(), argv + 2, argv + argc);
            status |= QTest::qExec(test.get(), int(rest.size()), rest.data());
        } else {
            status |= QTest::qExec(test.get(), argc, argv);
        }
    }
    return status;
}

} // namespace TestRegistry

#define TAVLORA_REGISTER_TEST(Class) \
    static const TestRegistry::Registrar<Class> tavloraRegistrar_##Class

// main() of a test executable with the given application class.
#define TAVLORA_TEST_MAIN(AppClass)                                                                \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        AppClass app(argc, argv);                                                                  \
        return TestRegistry::RunAll(argc, argv);                                                   \
    }
