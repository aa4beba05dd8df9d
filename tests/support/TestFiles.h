#pragma once
// Helpers for tests that work with files.

#include <QByteArray>
#include <QTemporaryDir>

#include <string>

namespace twtest {

// A fresh temporary folder, removed when the object goes away.
class TempDir {
  public:
    TempDir();
    std::string Path(const std::string& name) const;
    const QTemporaryDir& Dir() const { return dir_; }

  private:
    QTemporaryDir dir_;
};

QByteArray ReadAll(const std::string& path);
void WriteAll(const std::string& path, const QByteArray& bytes);
bool FileExists(const std::string& path);
// Runs a program and returns its exit code (-1 when it could not start); output is captured.
int RunProgram(const std::string& program, const QStringList& args, QByteArray* out = nullptr,
               QByteArray* err = nullptr, const QByteArray& input = {});
// Whether an external program is on PATH.
bool HaveProgram(const std::string& program);

} // namespace twtest
