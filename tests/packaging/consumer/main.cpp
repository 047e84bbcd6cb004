// A minimal application of the installed Core package.
#include <kaglobal.h>
#include <profile.h>

#include <cstdio>

bool prefixedIncludesWork();   // prefixed.cpp: the <Core/...> include style

int main()
{
    Profile &profile = Profile::instance();
    profile.setValue(QStringLiteral("consumer"), 42, false);
    if (profile.value(QStringLiteral("consumer")).toInt() != 42)
        return 1;
    if (fraction(QStringLiteral("1/10")) != 0.1)
        return 2;
    if (!prefixedIncludesWork())
        return 3;
    std::printf("ok %s\n", CORE_VERSION_STR);
    return 0;
}
