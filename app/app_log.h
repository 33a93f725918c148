#pragma once
// The window program's log: every debug message, the engines' lines included, is appended to
// "Log.txt" as "Debug: <message>"; warnings and errors are dropped, as the program has always
// done. Each message opens, appends and closes the file, so the worker thread may log too.
#include <QString>
#include <QtGlobal>

// Where the log goes (the application folder's "Log.txt" in the program) and installs the Qt
// message handler and the engines' debug sink.
void InstallAppLog(const QString& strLogPath);
// The handler itself, for tests.
void AppLogMessageHandler(QtMsgType eType, const QMessageLogContext& context, const QString& strMessage);
