// dbupdate: brings profile.db, data.db and qc.db in the working directory to
// the current schema in place. Arguments are translation files, searched in
// ".", ".." and Qt's translations directory. Exit code 0 when all three
// upgrades succeeded, 1 at the first that failed (the later ones do not run).
#include "updatedata.h"
#include "updateprofile.h"
#include "updateqc.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLibraryInfo>
#include <QtCore/QTranslator>

#include <memory>

namespace {

bool loadTranslator(QTranslator *translator, const QStringList &searchPath, const QString &fileName)
{
    for (const QString &directory : searchPath) {
        if (translator->load(fileName, directory))
            return true;
    }
    return false;
}

template <typename Upgrade>
bool runUpgrade()
{
    Upgrade upgrade;
    return upgrade.update();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    const QStringList searchPath{QStringLiteral("."), QStringLiteral(".."),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        auto translator = std::make_unique<QTranslator>(&app);
        if (loadTranslator(translator.get(), searchPath, arguments.at(i)))
            QCoreApplication::installTranslator(translator.release());
    }

    if (!runUpgrade<UpdateProfile>() || !runUpgrade<UpdateData>() || !runUpgrade<UpdateQc>())
        return 1;
    return 0;
}
