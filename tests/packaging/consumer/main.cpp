// A minimal application of the installed Core package.
#include <kaglobal.h>
#include <profile.h>

#include <cstdio>

int main()
{
    Profile &profile = Profile::instance();
    profile.setValue(QStringLiteral("consumer"), 42, false);
    if (profile.value(QStringLiteral("consumer")).toInt() != 42)
        return 1;
    if (fraction(QStringLiteral("1/10")) != 0.1)
        return 2;
    std::printf("ok\n");
    return 0;
}
