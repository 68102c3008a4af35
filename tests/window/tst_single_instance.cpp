// The single-copy lock (the platform's LinuxSingleCopy): one holder per executable and
// user, in a private folder of the user's own (never the shared temporary folder), root's
// never in a folder another user controls, and the request of a later copy that brings the
// window back through the Qt event loop (SingleInstance).
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "platform/linux/linux_platform.h"
#include "platform/linux/single_copy.h"
#include "tests/support/test_support.h"
#include "window/qt/single_instance.h"

using namespace tovanik;
using test::ScopedEnv;
using Result = SingleCopy::Result;

namespace {

constexpr uid_t kNobody = 65534;

QString q(const std::string& text) { return QString::fromStdString(text); }

mode_t modeOf(const QString& path) {
  struct stat st {};
  return lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

bool makeFolder(const QString& path, mode_t mode, uid_t owner) {
  const QByteArray p = QFile::encodeName(path);
  return QDir().mkpath(path) && chmod(p.constData(), mode) == 0 &&
         (owner == geteuid() || chown(p.constData(), owner, owner) == 0);
}

// Sends `message` to the socket at `path` as user `uid`: connected while still allowed
// into the private folder, sent after giving up root, so that only the credentials the
// kernel attaches tell the sender apart.
bool sendAs(uid_t uid, const QString& path, const QByteArray& message) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
               sizeof address.sun_path - 1);
  const pid_t child = fork();
  if (child == 0) {
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        setresuid(uid, uid, uid) != 0)
      _exit(1);
    _exit(send(fd, message.constData(), message.size(), 0) == message.size() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace

class SingleInstanceTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private slots:
  void oneHolderPerExecutable() {
    ScopedEnv runtime("XDG_RUNTIME_DIR", qPrintable(dir_.path()));
    auto first = std::make_unique<LinuxSingleCopy>("/opt/a/tovanik-webserver");
    LinuxSingleCopy second("/opt/a/tovanik-webserver");
    LinuxSingleCopy other("/opt/b/tovanik-webserver");
    QCOMPARE(first->acquire(), Result::Acquired);
    QCOMPARE(second.acquire(), Result::HeldByAnotherCopy);
    QCOMPARE(other.acquire(), Result::Acquired);  // another program folder
    QVERIFY(q(first->lockPath()).startsWith(dir_.path() + "/"));
    // The holder ends: the lock is free at once, without any clean-up of the file.
    first.reset();
    QCOMPARE(second.acquire(), Result::Acquired);
  }

  // Which folder holds the lock, from the environment. Folders are made under a scratch
  // folder; "~" in a row stands for it. Rows marked root hand folders to another user.
  void lockFolder_data() {
    QTest::addColumn<bool>("needsRoot");
    QTest::addColumn<QString>("runtime");  // XDG_RUNTIME_DIR; null: unset
    QTest::addColumn<QString>("state");    // XDG_STATE_HOME
    QTest::addColumn<QString>("home");     // HOME
    QTest::addColumn<QString>("expected");
    const QString none;
    // Made by each run: ~/own, ~/st and ~/h 0700, ~/open 0777, ~/group 0770, ~/pub 0755
    // and, as root, ~/other, nobody's, with ~/other/in, root's 0700 folder inside it.
    // "@root" is root's home in the user database.
    QTest::newRow("private runtime folder") << false << "~/own" << "~/st" << "~/h" << "~/own";
    QTest::newRow("runtime folder others may write to")
        << false << "~/open" << "~/st" << "~/h" << "~/st/tovanik";
    QTest::newRow("runtime folder the group may write to")
        << false << "~/group" << "~/st" << "~/h" << "~/st/tovanik";
    QTest::newRow("runtime folder others may read: used as it is")
        << false << "~/pub" << "~/st" << "~/h" << "~/pub";
    QTest::newRow("missing runtime folder") << false << "~/gone" << "~/st" << "~/h" << "~/st/tovanik";
    QTest::newRow("relative runtime folder") << false << "own" << "~/st" << "~/h" << "~/st/tovanik";
    QTest::newRow("no runtime folder: the state folder")
        << false << none << "~/st/" << "~/h" << "~/st/tovanik";
    QTest::newRow("no state folder either: under the home")
        << false << none << none << "~/h" << "~/h/.local/state/tovanik";
    QTest::newRow("relative state folder: under the home")
        << false << none << "st" << "~/h" << "~/h/.local/state/tovanik";
    QTest::newRow("root: another user's runtime folder")
        << true << "~/other" << "~/own" << "~/h" << "~/own/tovanik";
    QTest::newRow("root: another user's state folder")
        << true << none << "~/other" << "~/own" << "~/own/.local/state/tovanik";
    QTest::newRow("root: a state folder the group may write to")
        << true << none << "~/group" << "~/own" << "~/own/.local/state/tovanik";
    QTest::newRow("root: a missing state folder only root can create")
        << true << none << "~/gone" << "~/own" << "~/gone/tovanik";
    QTest::newRow("root: a missing state folder others could create")
        << true << none << "~/open/gone" << "~/own" << "~/own/.local/state/tovanik";
    QTest::newRow("root: another user's state and home: root's home")
        << true << none << "~/other" << "~/other" << "@root/.local/state/tovanik";
    QTest::newRow("root: a runtime folder inside another user's folder")
        << true << "~/other/in" << "~/own" << "~/h" << "~/own/tovanik";
    QTest::newRow("root: a state folder inside another user's folder")
        << true << none << "~/other/in" << "~/own" << "~/own/.local/state/tovanik";
    QTest::newRow("root: a home inside another user's folder: root's home")
        << true << none << none << "~/other/in" << "@root/.local/state/tovanik";
    QTest::newRow("state folder the group may write to: under the home")
        << false << none << "~/group" << "~/h" << "~/h/.local/state/tovanik";
  }
  void lockFolder() {
    QFETCH(bool, needsRoot);
    QFETCH(QString, runtime);
    QFETCH(QString, state);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    if (needsRoot && geteuid() != 0) QSKIP("handing a folder to another user needs root");
    QTemporaryDir scratch;
    QVERIFY(makeFolder(scratch.filePath("own"), 0700, geteuid()));
    QVERIFY(makeFolder(scratch.filePath("open"), 0777, geteuid()));
    QVERIFY(makeFolder(scratch.filePath("group"), 0770, geteuid()));
    QVERIFY(makeFolder(scratch.filePath("st"), 0700, geteuid()));
    QVERIFY(makeFolder(scratch.filePath("h"), 0700, geteuid()));
    QVERIFY(makeFolder(scratch.filePath("pub"), 0755, geteuid()));
    if (geteuid() == 0) {
      QVERIFY(makeFolder(scratch.filePath("other/in"), 0700, geteuid()));
      QVERIFY(makeFolder(scratch.filePath("other"), 0700, kNobody));
    }
    const auto expand = [&](QString v) {
      return v.startsWith("~") ? v.replace(0, 1, scratch.path()) : v;
    };
    const QByteArray r = QFile::encodeName(expand(runtime));
    const QByteArray s = QFile::encodeName(expand(state));
    const QByteArray h = QFile::encodeName(expand(home));
    // The shared temporary folder is never chosen, whatever TMPDIR says.
    ScopedEnv tmp("TMPDIR", qPrintable(scratch.path()));
    ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime.isNull() ? nullptr : r.constData());
    ScopedEnv stateEnv("XDG_STATE_HOME", state.isNull() ? nullptr : s.constData());
    ScopedEnv homeEnv("HOME", home.isNull() ? nullptr : h.constData());
    if (expected.startsWith("@root")) expected.replace(0, 5, QDir::rootPath() + "root");
    QCOMPARE(q(LinuxSingleCopy::lockFolder()), expand(expected));
  }

  // Without a runtime folder the lock's folder and its missing parents are made, the lock
  // folder 0700. A folder found is never chmod-ed: one others may write is not used (the
  // panel runs without the lock and says why), one they may only read is used as it is.
  void stateFolderIsMadePrivate() {
    QTemporaryDir scratch;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv state("XDG_STATE_HOME", nullptr);
    ScopedEnv home("HOME", qPrintable(scratch.path()));
    const QString folder = scratch.filePath(".local/state/tovanik");
    LinuxSingleCopy first("/opt/c/tovanik-webserver");
    QCOMPARE(first.acquire(), Result::Acquired);
    QCOMPARE(modeOf(folder), mode_t(0700));
    QCOMPARE(q(first.lockPath()), folder + "/" + QFileInfo(q(first.lockPath())).fileName());
    QCOMPARE(LinuxSingleCopy("/opt/c/tovanik-webserver").acquire(), Result::HeldByAnotherCopy);

    QVERIFY(chmod(QFile::encodeName(folder).constData(), 0777) == 0);
    LinuxSingleCopy open("/opt/d/tovanik-webserver");
    QCOMPARE(open.acquire(), Result::Failed);
    QVERIFY2(q(open.error()).contains("group or others may write it"), open.error().c_str());
    QCOMPARE(modeOf(folder), mode_t(0777));

    QVERIFY(chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    QCOMPARE(LinuxSingleCopy("/opt/d/tovanik-webserver").acquire(), Result::Acquired);
    QCOMPARE(modeOf(folder), mode_t(0755));
  }

  // Root's runtime folder from the environment, root's own and 0755 (sudo -E with a
  // folder others use too), is used as it is: the lock never changes its mode.
  void runtimeFolderFoundIsNeverChmodded() {
    QTemporaryDir scratch;
    const QString runtime = scratch.filePath("run");
    QVERIFY(makeFolder(runtime, 0755, geteuid()));
    ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", qPrintable(runtime));
    LinuxSingleCopy holder("/opt/f/tovanik-webserver");
    QCOMPARE(holder.acquire(), Result::Acquired);
    QVERIFY(q(holder.lockPath()).startsWith(runtime + "/"));
    QCOMPARE(modeOf(runtime), mode_t(0755));
  }

  // What stands at the lock folder's name is used only when it is a folder of the user's
  // own, and never keeps the panel from starting.
  void foreignFolderIsRefusedWithoutBlocking() {
    QTemporaryDir scratch;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv state("XDG_STATE_HOME", qPrintable(scratch.path()));
    const QString folder = scratch.filePath("tovanik");
    QVERIFY(QDir().mkdir(scratch.filePath("elsewhere")));
    QVERIFY(QFile::link(scratch.filePath("elsewhere"), folder));
    LinuxSingleCopy a("/opt/e/tovanik-webserver");
    QCOMPARE(a.acquire(), Result::Failed);
    QVERIFY2(q(a.error()).contains(folder) && q(a.error()).contains("not a folder"),
             a.error().c_str());
    QVERIFY(QDir(scratch.filePath("elsewhere")).isEmpty());

    if (geteuid() != 0) QSKIP("handing a folder to another user needs root");
    QVERIFY(QFile::remove(folder));
    QVERIFY(makeFolder(folder, 0777, kNobody));
    LinuxSingleCopy b("/opt/e/tovanik-webserver");
    QCOMPARE(b.acquire(), Result::Failed);
    QVERIFY2(q(b.error()).contains("owned by another user"), b.error().c_str());
  }

  // A later copy asks the holder to show its window, passing its activation token on;
  // only the holder's own user is heard.
  void laterCopyAsksTheHolderToShow() {
    QTemporaryDir scratch;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv state("XDG_STATE_HOME", qPrintable(scratch.path()));
    LinuxPlatform platform;
    SingleInstance later(platform, "/opt/f/tovanik-webserver");
    SingleInstance holder(platform, "/opt/f/tovanik-webserver");
    const QString socketPath = q(LinuxSingleCopy("/opt/f/tovanik-webserver").socketPath());
    QCOMPARE(holder.acquire(), Result::Acquired);
    QCOMPARE(later.acquire(), Result::HeldByAnotherCopy);
    QVERIFY(!later.askToShow("early"));  // the holder does not listen yet
    QVERIFY2(later.error().contains(socketPath) &&
                 later.error().contains(strerror(ENOENT)),
             qPrintable(later.error()));

    std::vector<QByteArray> asked;
    QVERIFY2(holder.listenForShowRequests([&](const QByteArray& t) { asked.push_back(t); }),
             qPrintable(holder.error()));
    QCOMPARE(modeOf(socketPath) & 077, mode_t(0));
    const struct {
      QByteArray sent;
      QByteArray received;
    } rows[] = {
        {"", ""},
        {"kwin-4711_TIME1234", "kwin-4711_TIME1234"},
        {"two words", ""},       // not a token: the request counts, the token not
        {"line\nbreak", ""},
    };
    for (const auto& row : rows) {
      asked.clear();
      QVERIFY2(later.askToShow(row.sent), qPrintable(later.error()));
      QTRY_COMPARE(asked.size(), size_t(1));
      QCOMPARE(asked.front(), row.received);
    }

    if (geteuid() != 0) QSKIP("sending as another user needs root");
    // Both wait before the event loop runs again, and the newest request that counts wins:
    // nobody's, sent last, would.
    asked.clear();
    QVERIFY(sendAs(geteuid(), socketPath, "show from-root"));
    QVERIFY(sendAs(kNobody, socketPath, "show from-nobody"));
    QTRY_COMPARE(asked.size(), size_t(1));
    QCOMPARE(asked.front(), QByteArray("from-root"));
  }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_single_instance.moc"
