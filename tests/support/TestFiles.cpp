#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <stdexcept>

namespace twtest {

TempDir::TempDir() {
    if (!dir_.isValid()) throw std::runtime_error("cannot make a temporary folder");
}

std::string TempDir::Path(const std::string& name) const {
    return dir_.filePath(QString::fromStdString(name)).toStdString();
}

QByteArray ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void WriteAll(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

int RunProgram(const std::string& program, const QStringList& args, QByteArray* out, QByteArray* err,
               const QByteArray& input) {
    QProcess p;
    p.start(QString::fromStdString(program), args);
    if (!p.waitForStarted(10000)) return -1;
    if (!input.isEmpty()) p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out) *out = p.readAllStandardOutput();
    if (err) *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool HaveProgram(const std::string& program) {
    return !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty();
}

} // namespace twtest
