#include "TestMain.h"

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <map>
#include <string>

namespace TestRegistry {

static std::map<std::string, Factory>& all()
{
    static std::map<std::string, Factory> tests;
    return tests;
}

bool add(const char* name, Factory factory)
{
    all().emplace(name, std::move(factory));
    return true;
}

} // namespace TestRegistry

int main(int argc, char* argv[])
{
    QApplication::setAttribute(Qt::AA_Use96Dpi, true); // twips tests count 15 per pixel
    QApplication app(argc, argv);
    auto& tests = TestRegistry::all();
    // argv: [program] [test name] [Qt Test options...]
    std::string only;
    int first = 1;
    if (argc > 1 && argv[1][0] != '-') {
        only = argv[1];
        first = 2;
    }
    if (!only.empty() && !tests.contains(only)) {
        std::fprintf(stderr, "no test named %s\n", only.c_str());
        return 2;
    }
    QStringList args{QString::fromLocal8Bit(argv[0])};
    for (int i = first; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    int failures = 0;
    for (auto& [name, factory] : tests) {
        if (!only.empty() && name != only)
            continue;
        auto test = factory();
        failures += QTest::qExec(test.get(), args);
    }
    return failures == 0 ? 0 : 1;
}
