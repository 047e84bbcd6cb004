#ifndef UPDATEPROFILE_H
#define UPDATEPROFILE_H

#include "updatebase.h"

// Brings profile.db to schema version 1 (the user table redeclared, the
// curveInfo table and the deleteCurve trigger), then on every run resets the
// default settings and reagents, removes the per-test disable switches and
// adds the scheduling and analysis defaults that are missing.
class UpdateProfile : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateProfile(QObject *parent = nullptr);
    bool update() override;

private:
    bool upgrade();
};

#endif // UPDATEPROFILE_H
