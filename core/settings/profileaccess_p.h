#ifndef PROFILEACCESS_P_H
#define PROFILEACCESS_P_H

// Internal to Core.

#include "profile.h"

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
        if (profile.m_##name.isValid())                                        \
            return profile.m_##name.value<Type>();                             \
        return profile.name(makeDefault());                                    \
    }
    CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_LAZY_GETTER)
#undef CORE_PROFILE_LAZY_GETTER
};

#endif // PROFILEACCESS_P_H
