// The planner: every decision of the uninstall, made on the file system before anything changes.
#include "Plan.h"

#include "FileIdentity.h"
#include "uninstall/UninstallTool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace tolvane::uninstall {

using Kind = Action::Kind;

bool Plan::refused() const
{
    return !of(Kind::Refuse).empty();
}

std::vector<Action> Plan::of(Kind kind) const
{
    std::vector<Action> found;
    for (const Action& action : actions) {
        if (action.kind == kind)
            found.push_back(action);
    }
    return found;
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::StopServer:
        return QStringLiteral("stop-server");
    case Kind::AdminRemove:
        return QStringLiteral("admin-remove");
    case Kind::UserRemove:
        return QStringLiteral("user-remove");
    case Kind::RemovePackage:
        return QStringLiteral("remove-package");
    case Kind::RemoveSetting:
        return QStringLiteral("remove-setting");
    case Kind::UnsetEnvironment:
        return QStringLiteral("unset-environment");
    case Kind::Trash:
        return QStringLiteral("trash");
    case Kind::Keep:
        return QStringLiteral("keep");
    case Kind::Refuse:
        return QStringLiteral("refuse");
    }
    return {};
}

QString escapedField(const QString& field)
{
    QString out;
    for (const QChar c : field) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString planText(const Plan& plan)
{
    QString text;
    for (const Action& action : plan.actions) {
        text += kindName(action.kind) + QLatin1Char('\t') + escapedField(action.subject);
        if (action.kind == Kind::Refuse)
            text += QLatin1Char('\t') + escapedField(action.reason);
        text += QLatin1Char('\n');
    }
    return text;
}

QString refusalLine(const Action& refusal)
{
    const QString subject = refusal.subject == QLatin1String("-")
                                ? refusal.what
                                : refusal.what + QLatin1Char(' ') + refusal.subject;
    return UninstallRefusalStart + QStringLiteral("%1: %2; nothing removed").arg(subject, refusal.reason);
}

namespace {

const QString ChooseAnother = QStringLiteral("choose another data location in Preferences first");

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isLink(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool isRegularFile(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// The folder (or file) is, or holds, the other: as the entry it names and as where it leads.
bool holds(const QString& folder, const QString& other)
{
    if (folder.isEmpty() || other.isEmpty() || !entryExists(other))
        return false;
    const QString otherResolved = resolved(other);
    return isAtOrBelow(other, folder) || (!otherResolved.isEmpty() && isAtOrBelow(otherResolved, folder));
}

// Two entries are the same: the same name in the same folder, or the same file.
bool sameEntry(const QString& a, const QString& b)
{
    const QString ra = resolvedEntry(a);
    const QString rb = resolvedEntry(b);
    if (ra.isEmpty() || rb.isEmpty()) {
        // Not there (its folder is missing): the same path as far as the two exist, and the same rest.
        const QString fa = resolvedAsFarAsItExists(a);
        return !fa.isEmpty() && fa == resolvedAsFarAsItExists(b);
    }
    if (nameOf(ra) == nameOf(rb)) {
        const auto fa = identityOf(parentOf(ra));
        const auto fb = identityOf(parentOf(rb));
        if (fa && fb && *fa == *fb)
            return true;
    }
    const auto ea = entryIdentityOf(ra);
    const auto eb = entryIdentityOf(rb);
    return ea && eb && *ea == *eb;
}

class Planner {
public:
    explicit Planner(const Facts& facts) : m_facts(facts) {}

    Plan run();

private:
    void refuse(const QString& what, const QString& subject, const QString& reason)
    {
        m_refusals.push_back({Kind::Refuse, subject, what, reason});
    }
    // Why the path (as the entry it names and where it leads) must never be removed; empty when it may.
    // A product path may in addition never be one of the home folder's own dot-folders.
    QString neverRemoved(const QString& path, bool productPath, bool withConfigFolder = true) const;
    // Why the data folder must not go to the Trash; empty when it may. First what it is or where it lies
    // (root, home, well-known and system folders), then what else it holds and whether it may go at all.
    QString dataPlaceGuard(const QString& path) const;
    QString dataContentGuard(const QString& path) const;
    QString mountReason(const QString& folder) const;
    void planProduct();
    void judgeMarkerLine(const QString& line);
    void planData();
    void planSettings();

    const Facts& m_facts;
    QString m_home;
    QString m_product;
    // The product's paths to remove, the product folder last.
    QStringList m_removals;
    std::vector<Action> m_refusals;
    std::vector<Action> m_settings;
    std::vector<Action> m_data;
};

QString Planner::neverRemoved(const QString& path, bool productPath, bool withConfigFolder) const
{
    const QString entry = resolvedEntry(path);
    const QString target = resolved(path);
    for (const QString& form : {entry, target}) {
        if (form.isEmpty())
            continue;
        if (form == QLatin1String("/"))
            return QStringLiteral("it is the root folder");
        if (holds(form, m_home))
            return QStringLiteral("it is the home folder %1 or holds it").arg(m_facts.home);
        for (const NamedFolder& folder : m_facts.wellKnownFolders) {
            if (holds(form, folder.path))
                return QStringLiteral("it is the user's folder %1 (%2) or holds it")
                    .arg(folder.name, folder.path);
        }
        for (const SystemFolder& folder : m_facts.systemFolders) {
            if (holds(form, folder.path))
                return QStringLiteral("it is the system folder %1 or holds it").arg(folder.path);
        }
        if (withConfigFolder && holds(form, m_facts.configFolder))
            return QStringLiteral("it is the configuration folder %1 or holds it").arg(m_facts.configFolder);
        // A folder of the home folder's own whose name starts with a dot (.ssh, .config, .local).
        const auto homeId = identityOf(m_home);
        const auto parentId = identityOf(parentOf(form));
        if (productPath && homeId && parentId && *homeId == *parentId &&
            nameOf(form).startsWith(QLatin1Char('.')))
            return QStringLiteral("it is the home folder's own %1").arg(nameOf(form));
    }
    return {};
}

QString Planner::mountReason(const QString& folder) const
{
    const auto own = identityOf(folder);
    const auto above = identityOf(parentOf(folder));
    if (own && above && own->device != above->device)
        return QStringLiteral("it is a mount point");
    for (const QString& mountPoint : m_facts.mountPoints) {
        if (mountPoint == QLatin1String("/") || !isAtOrBelow(mountPoint, folder))
            continue;
        if (resolved(mountPoint) == folder)
            return QStringLiteral("it is a mount point");
        return QStringLiteral("the mount point %1 lies inside it").arg(mountPoint);
    }
    bool unreadable = false;
    const QString other = otherDeviceBelow(folder, &unreadable);
    if (unreadable)
        return QStringLiteral("the user may not remove it: cannot read %1").arg(other);
    if (!other.isEmpty())
        return QStringLiteral("the mount point %1 lies inside it").arg(other);
    return {};
}

QString Planner::dataPlaceGuard(const QString& path) const
{
    if (const QString why = neverRemoved(path, false, false); !why.isEmpty())
        return why;
    for (const QString& form : {resolvedEntry(path), resolved(path)}) {
        if (form.isEmpty())
            continue;
        // Nothing in the system's own folders is the user's data, unless it lies in the home folder.
        if (!isAtOrBelow(form, m_home)) {
            for (const SystemFolder& folder : m_facts.systemFolders) {
                if (!folder.holdsUserData && isAtOrBelow(form, folder.path))
                    return QStringLiteral("it is inside the system folder %1").arg(folder.path);
            }
        }
    }
    return {};
}

QString Planner::dataContentGuard(const QString& path) const
{
    const QString entry = resolvedEntry(path);
    const QString target = resolved(path);
    if (const QString why = neverRemoved(path, false); !why.isEmpty())
        return why;
    for (const QString& form : {entry, target}) {
        if (form.isEmpty())
            continue;
        for (const QString& setting : m_facts.settings) {
            if (holds(form, setting))
                return QStringLiteral("it holds the Tolvane settings %1").arg(setting);
        }
        if (holds(form, m_facts.tool))
            return QStringLiteral("it holds the uninstall tool %1").arg(m_facts.tool);
        if (holds(form, m_facts.controller))
            return QStringLiteral("it holds the controller %1").arg(m_facts.controller);
        if (holds(form, m_facts.productFolder))
            return QStringLiteral("it holds the product folder %1").arg(m_facts.productFolder);
    }
    if (const QString why = mountReason(target); !why.isEmpty())
        return why;
    if (const QString why = whyUserMayNotRemove(target, false); !why.isEmpty())
        return why;
    if (entry != target) {
        if (const QString why = whyUserMayNotRemove(entry, false); !why.isEmpty())
            return QStringLiteral("%1 (the link %2)").arg(why, entry);
    }
    return {};
}

void Planner::judgeMarkerLine(const QString& line)
{
    const QString what = QStringLiteral("the marker line");
    if (!QDir::isAbsolutePath(line)) {
        refuse(what, line, QStringLiteral("it is not an absolute path"));
        return;
    }
    const QString entry = resolvedAsFarAsItExists(line);
    if (entry.isEmpty()) {
        refuse(what, line, QStringLiteral("its folder cannot be followed"));
        return;
    }
    if (isBelow(entry, m_product))
        return; // goes with the product folder
    if (const QString why = neverRemoved(entry, true); !why.isEmpty()) {
        refuse(what, line, why);
        return;
    }
    QString prefix = m_facts.prefixFromProduct;
    if (!QDir::isAbsolutePath(prefix))
        prefix = m_product + QLatin1Char('/') + prefix;
    for (const QString& file : m_facts.outsideFiles) {
        const QString installed = QDir::isAbsolutePath(file) ? file : prefix + QLatin1Char('/') + file;
        if (sameEntry(entry, installed)) {
            if (entryExists(entry) && !m_removals.contains(entry))
                m_removals.append(entry);
            return;
        }
    }
    const QString where =
        QStringLiteral(
            "neither inside the product folder %1 nor one of the files the product installs elsewhere")
            .arg(m_product);
    refuse(what, line,
           entry == line ? QStringLiteral("it is %1").arg(where)
                         : QStringLiteral("it leads to %1, which is %2").arg(entry, where));
}

void Planner::planProduct()
{
    const QString what = QStringLiteral("the product folder");
    m_product = resolved(m_facts.productFolder);
    if (m_product.isEmpty() || !QFileInfo(m_product).isDir()) {
        refuse(what, m_facts.productFolder, QStringLiteral("it is not a folder"));
        return;
    }
    if (const QString why = neverRemoved(m_product, true); !why.isEmpty()) {
        refuse(what, m_product, why);
        return;
    }
    if (m_facts.package) {
        // The package removes what it installed, the product folder with it.
        m_removals.append(m_product);
        return;
    }
    const QString marker = m_product + QLatin1Char('/') + MarkerName;
    QFile file(marker);
    if (!isRegularFile(marker) || !file.open(QIODevice::ReadOnly)) {
        refuse(what, m_product,
               QStringLiteral(
                   "it has no %1, so it is not known to be the installed product, and no Debian package "
                   "owns the tool")
                   .arg(MarkerName));
        return;
    }
    const QString text = QFile::decodeName(file.readAll());
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        judgeMarkerLine(line);
    }
    m_removals.append(m_product);
}

void Planner::planData()
{
    if (!m_facts.dataFolder)
        return;
    const QString what = QStringLiteral("the data folder");
    const QString given = *m_facts.dataFolder;
    if (!QDir::isAbsolutePath(given)) {
        if (m_facts.removeData)
            refuse(what, given,
                   QStringLiteral("it is a relative path, so where it is depends on the folder the "
                                  "tool runs in"));
        else
            m_data.push_back({Kind::Keep, given, {}, {}});
        return;
    }
    const QString target = resolved(given);
    const QString entry = resolvedEntry(given);
    if (target.isEmpty())
        return;
    // Whatever the answer, the data folder never goes with the product: it must neither lie in nor hold
    // a path the uninstall removes.
    QStringList removed = m_removals;
    for (const QString& setting : m_facts.settings) {
        if (entryExists(setting))
            removed.append(setting);
    }
    for (const QString& path : removed) {
        for (const QString& form : {entry, target}) {
            if (isAtOrBelow(form, path)) {
                refuse(what, given,
                       QStringLiteral("it lies inside %1, which the uninstall removes; %2")
                           .arg(path, ChooseAnother));
                return;
            }
        }
    }
    const auto guard = [&](QString (Planner::*check)(const QString&) const) {
        const QString why = (this->*check)(given);
        if (!why.isEmpty())
            refuse(what, given,
                   target == given ? why : QStringLiteral("it leads to %1: %2").arg(target, why));
        return why.isEmpty();
    };
    if (m_facts.removeData && !guard(&Planner::dataPlaceGuard))
        return;
    for (const QString& path : removed) {
        for (const QString& form : {entry, target}) {
            if (holds(form, path)) {
                refuse(
                    what, given,
                    QStringLiteral("it holds %1, which the uninstall removes; %2").arg(path, ChooseAnother));
                return;
            }
        }
    }
    if (!m_facts.removeData) {
        m_data.push_back({Kind::Keep, given, {}, {}});
        return;
    }
    if (!guard(&Planner::dataContentGuard))
        return;
    // A link that led to it would lead nowhere afterwards: it goes to the Trash as well, first, while it
    // still leads somewhere (the Trash takes no link that leads nowhere).
    if (entry != target && isLink(entry))
        m_data.push_back({Kind::Trash, entry, {}, {}});
    m_data.push_back({Kind::Trash, target, {}, {}});
}

void Planner::planSettings()
{
    QStringList settings;
    for (const QString& setting : m_facts.settings) {
        if (entryExists(setting))
            settings.append(setting);
    }
    // A folder of the product's own goes whole when it holds nothing but the settings (and their lock).
    for (const QString& folder : m_facts.settingsFolders) {
        if (!QFileInfo(folder).isDir() || isLink(folder))
            continue;
        const QStringList entries =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        bool onlySettings = !entries.isEmpty();
        QStringList inside;
        for (const QString& name : entries) {
            const QString path = folder + QLatin1Char('/') + name;
            const QString base = name.endsWith(QLatin1String(".lock")) ? path.chopped(5) : path;
            if (!m_facts.settings.contains(base)) {
                onlySettings = false;
                break;
            }
            inside.append(path);
        }
        if (!onlySettings)
            continue;
        for (const QString& path : inside)
            settings.removeAll(path);
        settings.append(folder);
    }
    for (const QString& setting : settings)
        m_settings.push_back({Kind::RemoveSetting, setting, {}, {}});
}

Plan Planner::run()
{
    Plan plan;
    m_home = resolved(m_facts.home);
    if (!QDir::isAbsolutePath(m_facts.home) || m_home.isEmpty() || !QFileInfo(m_home).isDir()) {
        refuse(QStringLiteral("the uninstall"), QStringLiteral("-"),
               QStringLiteral("HOME is not an existing absolute folder (\"%1\")").arg(m_facts.home));
        plan.actions = m_refusals;
        return plan;
    }
    planProduct();
    planSettings();
    planData();

    std::vector<Action> admin;
    std::vector<Action> user;
    if (m_facts.package) {
        if (!m_facts.privileged && !m_facts.adminAvailable)
            refuse(QStringLiteral("the uninstall"), QStringLiteral("-"), m_facts.adminMissing);
    } else {
        for (const QString& path : m_removals) {
            const bool own = m_facts.privileged || whyUserMayNotRemove(path, true).isEmpty();
            (own ? user : admin).push_back({own ? Kind::UserRemove : Kind::AdminRemove, path, {}, {}});
        }
        if (!admin.empty() && !m_facts.adminAvailable)
            refuse(QStringLiteral("the uninstall"), QStringLiteral("-"), m_facts.adminMissing);
    }
    if (!m_refusals.empty()) {
        plan.actions = m_refusals;
        return plan;
    }
    if (!m_facts.serverExecutable.isEmpty())
        plan.actions.push_back({Kind::StopServer, m_facts.serverExecutable, {}, {}});
    plan.actions.insert(plan.actions.end(), admin.begin(), admin.end());
    if (m_facts.package)
        plan.actions.push_back({Kind::RemovePackage, *m_facts.package, {}, {}});
    plan.actions.insert(plan.actions.end(), user.begin(), user.end());
    plan.actions.insert(plan.actions.end(), m_settings.begin(), m_settings.end());
    plan.actions.push_back({Kind::UnsetEnvironment, QStringLiteral("TOLVANE_HOME"), {}, {}});
    plan.actions.insert(plan.actions.end(), m_data.begin(), m_data.end());
    return plan;
}

} // namespace

Plan makePlan(const Facts& facts)
{
    return Planner(facts).run();
}

} // namespace tolvane::uninstall
