#pragma once

// A throwaway MariaDB server for round trips: its own data directory and socket under a
// temporary folder, no TCP, no option files, stopped by its process id. Statements go
// through the `mariadb` client as a child process.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// Upper-case hex of bytes, as the server's HEX() prints them.
inline std::string HexOf(const std::string& bytes) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char b : bytes) {
        s += d[b >> 4];
        s += d[b & 15];
    }
    return s;
}

namespace privateserver {

namespace fs = std::filesystem;

// A folder of its own under /tmp, removed with everything in it when the test ends.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag) {
        std::string pattern = "/tmp/dralvek-" + tag + ".XXXXXX";
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

inline bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    dirs += ":/usr/sbin:/usr/local/sbin:/sbin";
    std::stringstream ss(dirs);
    std::string dir;
    while (std::getline(ss, dir, ':')) {
        if (!dir.empty() && access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

inline std::string ReadWhole(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs argv with stdin, stdout and stderr redirected to files; returns the exit status
// (-1 when it could not run). wait=false leaves it running and stores its pid.
inline int Spawn(const std::vector<std::string>& argv, const fs::path& in, const fs::path& out, const fs::path& err,
                 bool wait = true, pid_t* started = nullptr) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        const int i = open(in.empty() ? "/dev/null" : in.c_str(), O_RDONLY);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (i < 0 || o < 0 || e < 0) _exit(127);
        dup2(i, 0);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (!wait) {
        if (started) *started = pid;
        return 0;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Server {
public:
    static bool Available() { return OnPath("mariadbd") && OnPath("mariadb-install-db") && OnPath("mariadb"); }

    Server() = default;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    ~Server() { Stop(); }

    // Installs a data directory and starts the server; the error text on failure.
    std::string Start() {
        char pattern[] = "/tmp/dralvek-server.XXXXXX";
        if (!mkdtemp(pattern)) return "no temporary folder";
        m_work = pattern;
        const fs::path data = m_work / "data";
        fs::create_directories(data);
        m_socket = m_work / "sock";
        // Its own folder for temporary tables: servers running side by side would
        // otherwise share /tmp and its file names.
        fs::create_directories(m_work / "tmp");
        std::vector<std::string> common = {
            "--user=root",
            "--datadir=" + data.string(),
            "--skip-networking",
            "--default-time-zone=+00:00",
            "--character-set-server=utf8mb4",
            "--collation-server=utf8mb4_general_ci",
            "--explicit-defaults-for-timestamp=ON",
            "--innodb-data-file-path=ibdata1:12M:autoextend",
            "--innodb-undo-tablespaces=0",
            "--innodb-file-per-table=ON",
            "--innodb-log-file-size=16M",
            "--innodb-buffer-pool-size=64M",
            "--skip-log-bin",
            "--tmpdir=" + (m_work / "tmp").string(),
            "--log-error=" + (m_work / "error.log").string(),
        };
        std::vector<std::string> install = {"mariadb-install-db", "--no-defaults"};
        install.insert(install.end(), common.begin(), common.end());
        install.insert(install.end(),
                       {"--auth-root-authentication-method=socket", "--skip-test-db", "--skip-name-resolve"});
        if (Spawn(install, {}, m_work / "install.out", m_work / "install.err") != 0)
            return "mariadb-install-db failed: " + ReadWhole(m_work / "install.err");
        std::vector<std::string> run = {"mariadbd", "--no-defaults"};
        run.insert(run.end(), common.begin(), common.end());
        run.push_back("--socket=" + m_socket.string());
        run.push_back("--pid-file=" + (m_work / "mariadbd.pid").string());
        if (Spawn(run, {}, m_work / "mariadbd.out", m_work / "mariadbd.err", false, &m_pid) != 0)
            return "mariadbd did not start";
        for (int i = 0; i < 600; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return "mariadbd exited: " + ReadWhole(m_work / "error.log");
            }
            std::string out, err;
            if (fs::exists(m_socket) && Sql("SELECT 1", out, err) == 0) return "";
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "mariadbd did not answer within 60 s";
    }

    // Runs the statements; exit status of the client (0 when every statement ran), with
    // what it printed (batch form: TAB between cells, \t \n \\ escaped) and its errors.
    int Sql(const std::string& sql, std::string& out, std::string& err, const std::vector<std::string>& extra = {}) {
        const fs::path in = m_work / "in.sql";
        {
            std::ofstream f(in, std::ios::binary);
            f << sql;
        }
        std::vector<std::string> argv = {"mariadb", "--no-defaults", "--protocol=socket", "--socket=" + m_socket.string(),
                                          "--user=root", "--default-character-set=utf8mb4", "--batch",
                                          "--skip-column-names"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        const int rc = Spawn(argv, in, m_work / "out.txt", m_work / "err.txt");
        out = ReadWhole(m_work / "out.txt");
        err = ReadWhole(m_work / "err.txt");
        return rc;
    }

    const fs::path& Socket() const { return m_socket; }
    fs::path DataDir() const { return m_work / "data"; }

    // Stops the server and keeps its data directory (its files then read as a dead
    // server left them).
    void Shutdown() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }

    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        if (!m_work.empty()) {
            std::error_code ec;
            fs::remove_all(m_work, ec);
            m_work.clear();
        }
    }

private:
    fs::path m_work;
    fs::path m_socket;
    pid_t m_pid = -1;
};

}  // namespace privateserver
