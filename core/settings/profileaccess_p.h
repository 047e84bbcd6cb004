#ifndef CORE_PROFILEACCESS_P_H
#define CORE_PROFILEACCESS_P_H

// Internal to Core.

#include "profile_p.h"

// Typed settings for Core's own hot paths: the same values as the getters of
// Profile, but the default is made (usually translated) only when the first
// read needs it, so a read of a known setting costs no translator lookup.
class ProfileAccess
{
public:
#define CORE_PROFILE_LAZY_GETTER(Type, name)                                   \
    template <typename MakeDefault>                                            \
    static Type name(Profile &profile, MakeDefault &&makeDefault)              \
    {                                                                          \
        Type value{};                                                          \
        if (profile.d->typed[int(TypedSetting::name)].get(&value))             \
            return value;                                                      \
        return profile.name(makeDefault());                                    \
    }
    CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_LAZY_GETTER)
#undef CORE_PROFILE_LAZY_GETTER
};

#endif // CORE_PROFILEACCESS_P_H
