// The console's preset commands are the protocol's own, so that a row sends exactly what the
// program itself asks the counter.
#include <QByteArray>
#include <QStringList>

#include "link/protocol.h"
#include "window/telvar.h"

QStringList TELVAR::PresetCommands() {
  QStringList rows;
  for (const QByteArray& command :
       {commandGETVER(), commandGETSERIAL(), commandDSID(), commandFACTORYRESET(), commandREBOOT()})
    rows.append(QString::fromLatin1(command));
  return rows;
}
