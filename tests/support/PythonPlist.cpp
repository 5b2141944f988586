#include "PythonPlist.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStringList>

#include "NullMarker.h"

namespace brevona {

namespace {

QString g_lastError;

const char *const kScript = R"PY(
import datetime, json, math, plistlib, struct, sys

sys.setrecursionlimit(20000)
sys.stdout.reconfigure(encoding='utf-8')

def canon(v):
    if isinstance(v, bool):
        return 'true' if v else 'false'
    if v is None:
        return 'null'
    if isinstance(v, plistlib.UID):
        return 'u%d' % v.data
    if isinstance(v, int):
        return 'i%d' % v
    if isinstance(v, float):
        return 'rnan' if math.isnan(v) else 'r' + struct.pack('>d', v).hex()
    if isinstance(v, str):
        return json.dumps(v, ensure_ascii=False)
    if isinstance(v, (bytes, bytearray)):
        return 'd' + bytes(v).hex()
    if isinstance(v, datetime.datetime):
        # nearest millisecond: a double of seconds is not exact to the microsecond far from 2001
        usecs = (v - datetime.datetime(1970, 1, 1)) // datetime.timedelta(microseconds=1)
        return 't%d' % ((usecs + 500) // 1000)
    if isinstance(v, list):
        return '[' + ','.join(canon(x) for x in v) + ']'
    if isinstance(v, dict):
        keys = sorted(v, key=lambda k: k.encode('utf-8'))
        return '{' + ','.join(json.dumps(k, ensure_ascii=False) + ':' + canon(v[k]) for k in keys) + '}'
    raise TypeError(type(v).__name__)

def unarchive(top):
    if top.get('$archiver') != 'NSKeyedArchiver' or top.get('$version') != 100000:
        raise ValueError('not a keyed archive')
    objects = top['$objects']
    if objects[0] != '$null':
        raise ValueError('$objects does not start with $null')
    def resolve(ref):
        if not isinstance(ref, plistlib.UID):
            raise ValueError('reference expected, found %r' % (ref,))
        if ref.data == 0:
            return None
        obj = objects[ref.data]
        if not isinstance(obj, dict):
            return obj
        record = objects[obj['$class'].data]
        name = record['$classname']
        if record['$classes'][0] != name or record['$classes'][-1] != 'NSObject':
            raise ValueError('bad class chain %r' % (record['$classes'],))
        if name in ('NSArray', 'NSMutableArray'):
            return [resolve(x) for x in obj['NS.objects']]
        if name in ('NSDictionary', 'NSMutableDictionary'):
            if len(obj['NS.keys']) != len(obj['NS.objects']):
                raise ValueError('keys and objects differ in number')
            return {resolve(k): resolve(v) for k, v in zip(obj['NS.keys'], obj['NS.objects'])}
        if name == 'NSDate':
            return datetime.datetime(2001, 1, 1) + datetime.timedelta(seconds=obj['NS.time'])
        if name == 'NSNull':
            return None
        if name in ('NSString', 'NSMutableString'):
            return obj['NS.string']
        if name in ('NSData', 'NSMutableData'):
            return obj['NS.data']
        raise ValueError('unknown class ' + name)
    return resolve(top['$top']['root'])

command, path = sys.argv[1], sys.argv[2]
if command == 'dump':
    with open(path, 'rb') as f:
        print(canon(plistlib.load(f)), end='')
elif command == 'unarchive':
    with open(path, 'rb') as f:
        print(canon(unarchive(plistlib.load(f))), end='')
elif command == 'write':
    names = {'UID': plistlib.UID, 'datetime': datetime.datetime, 'nan': math.nan, 'inf': math.inf}
    value = eval(sys.argv[4], names)
    fmt = plistlib.FMT_BINARY if sys.argv[3] == 'binary' else plistlib.FMT_XML
    with open(path, 'wb') as f:
        plistlib.dump(value, f, fmt=fmt, sort_keys=False)
)PY";

std::optional<QString> runPython(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("python3"),
                  QStringList{QStringLiteral("-c"), QString::fromUtf8(kScript)} + arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        g_lastError = QStringLiteral("python3 did not run: ") + process.errorString();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        g_lastError = QString::fromUtf8(process.readAllStandardError()).trimmed();
        return std::nullopt;
    }
    g_lastError.clear();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Qt writes JSON strings exactly as json.dumps(ensure_ascii=False) does.
QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.sliced(1, array.size() - 2));
}

QString realText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("rnan");
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return QStringLiteral("r%1").arg(bits, 16, 16, QLatin1Char('0'));
}

} // namespace

std::optional<QString> PythonPlist::dump(const QString &path)
{
    return runPython({QStringLiteral("dump"), path});
}

bool PythonPlist::write(const QString &path, const QString &expression, bool binary)
{
    return runPython({QStringLiteral("write"), path,
                      binary ? QStringLiteral("binary") : QStringLiteral("xml"), expression})
        .has_value();
}

std::optional<QString> PythonPlist::unarchive(const QString &path)
{
    return runPython({QStringLiteral("unarchive"), path});
}

QString PythonPlist::lastError()
{
    return g_lastError;
}

QString PythonPlist::canonical(const QVariant &value)
{
    if (isNullMarker(value))
        return QStringLiteral("null");
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QStringLiteral("i%1").arg(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QStringLiteral("i%1").arg(value.toULongLong());
    case QMetaType::Double:
        return realText(value.toDouble());
    case QMetaType::QString:
        return jsonString(value.toString());
    case QMetaType::QByteArray:
        return QStringLiteral("d") + QString::fromLatin1(value.toByteArray().toHex());
    case QMetaType::QDateTime:
        return QStringLiteral("t%1").arg(value.toDateTime().toMSecsSinceEpoch());
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList parts;
        for (const QVariant &element : value.toList())
            parts << canonical(element);
        return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QStringList keys = map.keys();
        std::sort(keys.begin(), keys.end(),
                  [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
        QStringList parts;
        for (const QString &key : keys)
            parts << jsonString(key) + QLatin1Char(':') + canonical(map.value(key));
        return QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    default:
        return QStringLiteral("<unsupported %1>").arg(QString::fromLatin1(value.metaType().name()));
    }
}

} // namespace brevona
