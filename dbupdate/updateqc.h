#ifndef UPDATEQC_H
#define UPDATEQC_H

#include "updatebase.h"

// qc.db has nothing to upgrade: it is opened and its version read, and
// nothing else touches it.
class UpdateQc : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateQc(QObject *parent = nullptr)
        : UpdateBase(QStringLiteral("qc.db"), ReadOnly, parent)
    {
    }
    bool update() override { return isReady() ? finish(true) : notReadyResult(); }
};

#endif // UPDATEQC_H
