#include "NetworkSources.h"

#include "base/IniFile.h"
#include "base/NetworkGuard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <atomic>
#include <mutex>

namespace gis {

namespace {

std::atomic<bool> allowedForThisRun{false};
std::mutex questionLock;
std::function<bool(const QString&, const QString&)> question;
// The answers given in this run, also when the settings could not keep them.
std::mutex answersLock;
QHash<QString, bool> answersThisRun;

constexpr const char* kSection = "Atlases";

// The host of a URL anywhere in `text` ("http://host/...", "/vsicurl/https://host/..."), or empty.
QString UrlHost(const QString& text) {
  static const QRegularExpression url(R"(([A-Za-z][A-Za-z0-9+.-]*)://([^/\s"'<>?#]*))");
  const QRegularExpressionMatch m = url.match(text);
  if (!m.hasMatch()) return {};
  const QString host = m.captured(2).section('@', -1);
  // file:// names this machine's files.
  if (m.captured(1).compare("file", Qt::CaseInsensitive) == 0) return {};
  return host.isEmpty() ? m.captured(0) : host;
}

// Only what surely is this machine: a socket folder, localhost, or a loopback address written
// as one ("127.example.invalid" is a name that a DNS server is asked about).
bool IsThisMachine(QString host) {
  host = host.trimmed();
  if (host.startsWith('[') && host.endsWith(']')) host = host.mid(1, host.size() - 2);
  static const QRegularExpression loopback(R"(^127\.\d{1,3}\.\d{1,3}\.\d{1,3}$)");
  return host.isEmpty() || host.startsWith('/') || host.startsWith('@') ||
         host.compare("localhost", Qt::CaseInsensitive) == 0 || loopback.match(host).hasMatch() ||
         host == "::1";
}

// XML's character references and entities written as the characters they stand for:
// "&#47;vsicurl&#47;http&#58;//" is "/vsicurl/http://" to GDAL.
QString XmlText(QString text) {
  static const QRegularExpression reference("&#(x[0-9A-Fa-f]{1,6}|[0-9]{1,7});");
  QString out;
  qsizetype last = 0;
  for (auto it = reference.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    const QString code = m.captured(1);
    bool ok = false;
    const uint value = code.startsWith('x') ? code.mid(1).toUInt(&ok, 16) : code.toUInt(&ok, 10);
    out += text.mid(last, m.capturedStart() - last);
    const char32_t character = ok && value > 0 && value <= 0x10FFFF ? value : 0;
    if (character) out += QString::fromUcs4(&character, 1);
    last = m.capturedEnd();
  }
  out += text.mid(last);
  out.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&apos;", "'");
  return out.replace("&amp;", "&");
}

// The files a description names as its sources (a VRT's SourceFilename, SrcDataSource, ...).
QStringList NamedFiles(const QString& description) {
  static const QRegularExpression named(
      R"(<(SourceFilename|SrcDataSource|SourceDataSource|ServerUrl|Filename)\b([^>]*)>([^<]*)<)",
      QRegularExpression::CaseInsensitiveOption);
  QStringList files;
  for (auto it = named.globalMatch(description); it.hasNext();)
    files << it.next().captured(3).trimmed();
  return files;
}

// A key=value connection string's value (PostgreSQL's, MySQL's).
QString ConnectionValue(const QString& connection, const QString& key) {
  const QRegularExpression pair("(?:^|[\\s:,;])" + key + R"(\s*=\s*('([^']*)'|[^\s,;]*))",
                                QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = pair.match(connection);
  if (!m.hasMatch()) return {};
  return m.captured(2).isEmpty() ? m.captured(1) : m.captured(2);
}

// A database connection ("PG:host=... dbname=...", "MYSQL:db,host=..."): the host it reaches.
QString DatabaseHost(const QString& source) {
  const QString body = source.section(':', 1);
  if (UrlHost(body).size()) {
    // PG:postgresql://host/db
    const QUrl url(body.trimmed());
    const QString host = url.host().isEmpty()
                             ? QUrlQuery(url).queryItemValue("host", QUrl::FullyDecoded)
                             : url.host();
    return IsThisMachine(host) ? QString() : host;
  }
  // A service from the user's own pg_service.conf is a connection the user set up.
  if (!ConnectionValue(body, "service").isEmpty()) return {};
  for (const char* key : {"host", "hostaddr"}) {
    const QString host = ConnectionValue(body, key);
    for (const QString& one : host.split(',', Qt::SkipEmptyParts))
      if (!IsThisMachine(one)) return one;
  }
  return {};
}

QString AtlasKey(const QString& mapsDir) {
  const QFileInfo root(QFileInfo(mapsDir).absolutePath());
  const QString path =
      root.canonicalFilePath().isEmpty() ? root.absoluteFilePath() : root.canonicalFilePath();
  // The key's characters are kept out of the INI file's syntax.
  return QString::fromLatin1(QUrl::toPercentEncoding(path));
}

} // namespace

QString TNetworkSources::AddressOf(const QString& source, const QString& path) {
  const QString trimmed = source.trimmed();
  static const QRegularExpression database("^(PG|POSTGRES|POSTGRESQL|MYSQL|MSSQL|OCI|ODBC):",
                                           QRegularExpression::CaseInsensitiveOption);
  if (database.match(trimmed).hasMatch()) return DatabaseHost(trimmed);
  if (const QString host = UrlHost(trimmed); !host.isEmpty()) return host;
  // GDAL's own network file systems (/vsis3/bucket/..., /vsiaz/...), whatever follows.
  static const QRegularExpression cloud(
      R"(^/vsi(curl|curl_streaming|s3|s3_streaming|gs|gs_streaming|az|az_streaming|adls|oss|oss_streaming|swift|swift_streaming|webhdfs|hdfs)/)",
      QRegularExpression::CaseInsensitiveOption);
  if (cloud.match(trimmed).hasMatch() ||
      trimmed.contains(QRegularExpression("/vsi(curl|s3|gs|az|adls|oss|swift|webhdfs)")))
    return trimmed.section('/', 2, 3);
  // A description file (a VRT, GDAL's WMS description) names what it reads inside: read whole,
  // its character references as GDAL reads them, and the files it names read in turn.
  if (!path.isEmpty() && QFileInfo(path).isFile()) return AddressInFile(path, 0);
  // An XML description written in the row itself ("<GDAL_WMS>...").
  if (trimmed.startsWith('<')) return AddressInDescription(trimmed, QString(), 0);
  return {};
}

QString TNetworkSources::AddressInFile(const QString& path, int depth) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  // A description larger than any GDAL writes is not read: what it reaches is not known.
  constexpr qint64 kLargest = 16 << 20;
  const QByteArray head = file.read(64);
  if (!head.trimmed().startsWith('<')) return {};
  if (file.size() > kLargest) return QString::fromUtf8("опис джерела більше 16 МБ");
  const QString text = QString::fromUtf8(head + file.readAll());
  return AddressInDescription(text, QFileInfo(path).absolutePath(), depth);
}

QString TNetworkSources::AddressInDescription(const QString& description, const QString& folder,
                                              int depth) {
  const QString text = XmlText(description);
  // Each source named in it as a source of its own; any URL anywhere in it reaches its host.
  if (const QString host = UrlHost(text); !host.isEmpty()) return host;
  if (text.contains(QRegularExpression("/vsi(curl|s3|gs|az|adls|oss|swift|webhdfs|hdfs)",
                                       QRegularExpression::CaseInsensitiveOption)))
    return QString::fromUtf8("опис джерела");
  for (const QString& named : NamedFiles(text)) {
    if (named.isEmpty()) continue;
    const QString file =
        QDir::isAbsolutePath(named) || folder.isEmpty() ? named : folder + "/" + named;
    if (const QString address = AddressOf(named, QString()); !address.isEmpty()) return address;
    if (QFileInfo(file).isFile()) {
      if (depth >= 8) return QString::fromUtf8("опис джерела, вкладений надто глибоко");
      if (const QString inner = AddressInFile(file, depth + 1); !inner.isEmpty()) return inner;
    }
  }
  return {};
}

QString TNetworkSources::SettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/vandrel/network-sources.ini";
}

TNetworkSources::Answer TNetworkSources::AnswerFor(const QString& mapsDir) {
  {
    const std::lock_guard lock(answersLock);
    if (const auto given = answersThisRun.constFind(AtlasKey(mapsDir));
        given != answersThisRun.cend())
      return *given ? Answer::Allowed : Answer::Refused;
  }
  const QString answer =
      base::IniFile(SettingsPath()).ReadString(kSection, AtlasKey(mapsDir), QString());
  return answer == "allow"    ? Answer::Allowed
         : answer == "refuse" ? Answer::Refused
                              : Answer::NotAsked;
}

void TNetworkSources::Remember(const QString& mapsDir, bool allowed) {
  {
    const std::lock_guard lock(answersLock);
    answersThisRun[AtlasKey(mapsDir)] = allowed;
  }
  try {
    QDir().mkpath(QFileInfo(SettingsPath()).path());
    base::IniFile settings(SettingsPath());
    settings.WriteString(kSection, AtlasKey(mapsDir), allowed ? "allow" : "refuse");
    settings.Save();
  } catch (const std::exception&) {
    // Settings that cannot be written: the answer holds for this run and is asked again next.
  }
}

void TNetworkSources::AllowForThisRun() {
  allowedForThisRun = true;
}

void TNetworkSources::SetQuestion(std::function<bool(const QString&, const QString&)> ask) {
  const std::lock_guard lock(questionLock);
  question = std::move(ask);
}

void TNetworkSources::GuardGdal(const QString& mapsDir) {
  // Without the atlas's permission nothing a source reaches (a VRT's /vsicurl/ source, a WMS
  // server, a database named in a description inside another) leaves this machine, and no name
  // is looked up.
  base::NetworkGuard::SetRefused(!allowedForThisRun && AnswerFor(mapsDir) != Answer::Allowed);
}

bool TNetworkSources::MayOpen(const QString& mapsDir, const QString& address) {
  if (allowedForThisRun) return true;
  const Answer answer = AnswerFor(mapsDir);
  if (answer != Answer::NotAsked) return answer == Answer::Allowed;
  const std::lock_guard lock(questionLock);
  // Asked only where a window can be shown: a drawing thread takes the answer kept.
  const bool onWindowsThread = QCoreApplication::instance() &&
                               QThread::currentThread() == QCoreApplication::instance()->thread();
  if (!question || !onWindowsThread) return false;
  if (AnswerFor(mapsDir) != Answer::NotAsked) return AnswerFor(mapsDir) == Answer::Allowed;
  const bool allowed = question(QFileInfo(mapsDir).absolutePath(), address);
  Remember(mapsDir, allowed);
  return allowed;
}

} // namespace gis
