#include "platform/ProgramStarter.h"

#include <QProcess>

namespace nimbuscope {

bool QProcessStarter::startDetached(const QString& program, const QStringList& arguments) {
    return !program.isEmpty() && QProcess::startDetached(program, arguments);
}

} // namespace nimbuscope
