#pragma once

#include <QString>
#include <QStringList>

// The server dialogs' own requests about one routine item: the existence check of a
// typed name in the Open dialog ("SIE") and the Save As dialog's lock request and
// release ("SIN", "SIU"). Each request has its own field order, so they are built here
// and nowhere else in the dialogs:
//
//     link->Transact(0, RoutineRequest::existence(2, "USER", "ABC"));
//         // ["SIE", "2", "USER", "ABC"]  (type, namespace, name)
//     link->Send(RoutineRequest::release(1, "ABC", "USER"));
//         // ["SIU", "1", "ABC", "USER"]  (type, name, namespace)
//
// The code goes out without "!": Transact adds it. Requests the documents and the main
// window build themselves are not made here.
namespace RoutineRequest {

// "SIE" [type, namespace, name]: does the item exist?
QStringList existence(int type, const QString &ns, const QString &name);
// "SIN" [type, name, namespace]: may the item be saved under this identity (takes its lock)?
QStringList lock(int type, const QString &name, const QString &ns);
// "SIU" [type, name, namespace]: releases the item's lock.
QStringList release(int type, const QString &name, const QString &ns);

// Any of the three by code ("SIE", "SIN" or "SIU", with or without "!"), each in its own
// field order; an unknown code gives the code alone with [type, name, namespace].
QStringList build(const QString &code, int type, const QString &name, const QString &ns);

} // namespace RoutineRequest
