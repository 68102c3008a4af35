// The single-copy lock: one holder per executable and user, a private folder when there
// is no runtime folder, and never blocked by what another user left in /tmp.
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>

#include "tests/support/test_support.h"
#include "window/qt/single_instance.h"

using namespace tovanik;
using test::ScopedEnv;
using Result = SingleInstance::Result;

namespace {

mode_t modeOf(const QString& path) {
  struct stat st {};
  return lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

}  // namespace

class SingleInstanceTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private slots:
  void oneHolderPerExecutable() {
    ScopedEnv runtime("XDG_RUNTIME_DIR", qPrintable(dir_.path()));
    auto first = std::make_unique<SingleInstance>("/opt/a/tovanik-webserver");
    SingleInstance second("/opt/a/tovanik-webserver");
    SingleInstance other("/opt/b/tovanik-webserver");
    QCOMPARE(first->acquire(), Result::Acquired);
    QCOMPARE(second.acquire(), Result::HeldByAnotherCopy);
    QCOMPARE(other.acquire(), Result::Acquired);  // another program folder
    QVERIFY(first->lockPath().startsWith(dir_.path() + "/"));
    // The holder ends: the lock is free at once, without any clean-up of the file.
    first.reset();
    QCOMPARE(second.acquire(), Result::Acquired);
  }

  void privateFolderUnderTheTemporaryFolderWithoutRuntimeFolder() {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv tmp("TMPDIR", qPrintable(dir_.path()));
    const QString folder = dir_.path() + "/tovanik-" + QString::number(geteuid());
    QCOMPARE(SingleInstance::lockFolder(), folder);
    SingleInstance a("/opt/c/tovanik-webserver");
    QCOMPARE(a.acquire(), Result::Acquired);
    QCOMPARE(modeOf(folder), mode_t(0700));
    QVERIFY(a.lockPath().startsWith(folder + "/"));
    SingleInstance b("/opt/c/tovanik-webserver");
    QCOMPARE(b.acquire(), Result::HeldByAnotherCopy);
  }

  void folderOpenToOthersIsClosed() {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    QTemporaryDir tmpdir;
    ScopedEnv tmp("TMPDIR", qPrintable(tmpdir.path()));
    const QString folder = SingleInstance::lockFolder();
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(chmod(QFile::encodeName(folder).constData(), 0777) == 0);
    SingleInstance a("/opt/d/tovanik-webserver");
    QCOMPARE(a.acquire(), Result::Acquired);
    QCOMPARE(modeOf(folder), mode_t(0700));
  }

  // What another user (or anybody) put at the folder's name is never used, and never
  // keeps the panel from starting.
  void foreignFolderIsRefusedWithoutBlocking() {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    QTemporaryDir tmpdir;
    ScopedEnv tmp("TMPDIR", qPrintable(tmpdir.path()));
    const QString folder = SingleInstance::lockFolder();
    QVERIFY(QDir().mkdir(tmpdir.path() + "/elsewhere"));
    QVERIFY(QFile::link(tmpdir.path() + "/elsewhere", folder));
    SingleInstance a("/opt/e/tovanik-webserver");
    QCOMPARE(a.acquire(), Result::Failed);
    QVERIFY2(a.error().contains(folder) && a.error().contains("not a folder"),
             qPrintable(a.error()));
    QVERIFY(QDir(tmpdir.path() + "/elsewhere").isEmpty());

    if (geteuid() != 0) QSKIP("handing a folder to another user needs root");
    QVERIFY(QFile::remove(folder));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
    SingleInstance b("/opt/e/tovanik-webserver");
    QCOMPARE(b.acquire(), Result::Failed);
    QVERIFY2(b.error().contains("owned by another user"), qPrintable(b.error()));
  }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_single_instance.moc"
