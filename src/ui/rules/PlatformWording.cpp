#include "ui/rules/PlatformWording.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace PlatformWording {

namespace {

Platform &platform()
{
#ifdef Q_OS_MACOS
    static Platform value = Platform::macOS;
#else
    static Platform value = Platform::linuxDesktop;
#endif
    return value;
}

const QHash<QString, QString> &linuxTexts()
{
    static const QHash<QString, QString> table {
        {u"Show in Finder"_s, u"Show in File Manager"_s},
        {u"Show Game File in Finder"_s, u"Show Game File in File Manager"_s},
        {u"Show Wine Prefix in Finder"_s, u"Show Wine Prefix in File Manager"_s},
        {u"Show Wine in Finder"_s, u"Show Wine in File Manager"_s},
        {u"Check or install Wine and its macOS requirements"_s,
            u"Check or install Wine and its system requirements"_s},
        {u"Quillmere keeps these files in your Library. Removing this entry does not delete them."_s,
            u"Quillmere keeps these files in your data folder. Removing this entry does not "
            "delete them."_s},
        {u"Quillmere checks this Mac and installs what Windows apps need."_s,
            u"Quillmere checks this computer and tells you what Windows apps need."_s},
        {u"Wine and its required components are ready on this Mac."_s,
            u"Wine and its required components are ready on this computer."_s},
        {u"Quillmere checks what's installed, downloads missing components, and guides any "
         "macOS approval."_s,
            u"Quillmere checks what's installed and names the packages to add with your "
            "system's package manager."_s},
        // Linux has no installer to wait for: the distribution's packages provide these.
        {u"Automatic"_s, u"From your packages"_s},
        {u"Finish Installer"_s, u"Install Packages"_s},
        {u"Quillmere installs Wine when no runtime is found."_s,
            u"Install Wine with your system's package manager."_s},
        {u"No existing Wine runtime was found. Quillmere will install one when you start setup."_s,
            u"No existing Wine runtime was found. Install Wine with your system's package "
            "manager, then check again."_s},
        {u"Mac Game Profiles"_s, u"Game Profiles"_s},
        {u"this Mac"_s, u"this computer"_s},
        {u"your Library"_s, u"your data folder"_s},
        {u"macOS requirements"_s, u"system requirements"_s},
    };
    return table;
}

} // namespace

Platform current()
{
    return platform();
}

void setCurrent(Platform value)
{
    platform() = value;
}

bool isMac()
{
    return platform() == Platform::macOS;
}

QString text(const QString &macText)
{
    if (isMac())
        return macText;
    return linuxTexts().value(macText, macText);
}

QString systemRequirement(const QString &minimumMacOS)
{
    return isMac() ? u"macOS "_s + minimumMacOS : u"Linux with Wine"_s;
}

} // namespace PlatformWording
