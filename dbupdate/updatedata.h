#ifndef UPDATEDATA_H
#define UPDATEDATA_H

#include "updatebase.h"

// Brings data.db to schema version 2: version 1 adds the patient columns
// sampleType and hospitalNo, redeclares the six lookup tables with a
// case-insensitive abbreviation and its index, and adds the detail and
// version tables; version 2 replaces the on_delete_patient trigger.
class UpdateData : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateData(QObject *parent = nullptr);
    bool update() override;

    // The "create index if not exists" statements run on every upgrade.
    static QStringList dataIndexStatements();

private:
    bool upgrade();
};

#endif // UPDATEDATA_H
