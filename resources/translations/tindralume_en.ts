<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>AboutSettingsView</name>
    <message>
        <source>Tindralume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A powerful clipboard manager for macOS</source>
        <translation>A powerful clipboard manager for the Linux desktop</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Automatically check for updates</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>about_footer</source>
        <translation>© 2026 The Tindralume authors. Free software under the MIT License.</translation>
    </message>
    <message>
        <source>Version %1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AppDelegate</name>
    <message>
        <source>Could not save changes while quitting. Quit anyway?</source>
        <comment>Quit without saves error question message</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quitting now will lose any changes you have made since the last successful save</source>
        <comment>Quit without saves error question info</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit anyway</source>
        <comment>Quit anyway button title</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment>Cancel button title</comment>
        <translation type="unfinished">Cancel</translation>
    </message>
    <message>
        <source>The clipboard history cannot be saved: the disk is full.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New copies are kept and saved as soon as there is space again; quitting before then loses them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tindralume cannot open its clipboard history and will quit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A copy of %1 was not saved in the clipboard history: the disk has no room for it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saving it needs about twice its size in free disk space. The copies made after it are saved.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AppcastFeed</name>
    <message>
        <source>The update feed is not valid XML (line %1: %2).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed is not an RSS feed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No item of the update feed names a version and a web download page.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed lists no versions.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed names a version that is not a plain version number (digits, letters, dots, + and -, at most %1 characters).</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ClipboardItemCollectionViewCell</name>
    <message>
        <source>Add to Favorites</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove from Favorites</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ClipboardItemContentView</name>
    <message>
        <source>Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rich Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>+ %n more</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Favorite</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GeneralSettingsView</name>
    <message>
        <source>General</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>When enabled, selecting an item will automatically paste it to the active application.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paste directly</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reverses mouse wheel and horizontal swipe direction in the panel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reverse scroll direction</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hold the modifier key while selecting an item to paste as plain text.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paste as plain text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep history</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to clear all clipboard history? This action cannot be undone.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished">Cancel</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forever</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n days</source>
        <translation>
            <numerusform>%n day</numerusform>
            <numerusform>%n days</numerusform>
        </translation>
    </message>
    <message>
        <source>History Cleared</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All clipboard history has been cleared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>History Not Cleared</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The clipboard history could not be cleared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ManagedObjectContext</name>
    <message>
        <source>Cannot read the store file %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file %1 is not a database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The store file %1 is read-only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The store file %1 cannot be written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot read the store %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The store %1 has schema version %2; this version of Tindralume reads up to %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The database %1 is not a Tindralume store</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The store %1 has tables this version of Tindralume cannot migrate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The store %1 is damaged: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot prepare the store %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The store file %1 is a symbolic link, which is never written through</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PanelContentView</name>
    <message>
        <source>Search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Favorites</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No favorite items yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No clipboard history yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No results found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Color</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rich Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>accessibility_permission_title</source>
        <translation>Direct pasting is not available</translation>
    </message>
    <message>
        <source>accessibility_permission_message</source>
        <translation>The entry is on the clipboard: press Ctrl+V to paste it. To paste by itself, Tindralume types the paste keys through the X server&apos;s XTEST extension, and this session does not offer it to reach other windows. Log in to an X11 session (Xorg, package xserver-xorg-core) instead of a Wayland one, and keep XTEST enabled: no &quot;-extension XTEST&quot; option on the server&apos;s command line and no Option &quot;XTEST&quot; &quot;Disable&quot; in the Extensions section of xorg.conf. Or turn off direct pasting in the settings.</translation>
    </message>
    <message>
        <source>open_settings</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>This entry could not be put on the clipboard.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RelativeTime</name>
    <message numerus="yes">
        <source>%n sec. ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n sec.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n min. ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n min.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hr. ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n hr.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n days</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n wk. ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n wk.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n mo. ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n mo.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n yr. ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>in %n yr.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>last year</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>next year</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>last month</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>next month</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>last week</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>next week</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>yesterday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>tomorrow</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>now</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>General</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShortcutRecorderRow</name>
    <message>
        <source>Toggle panel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A shortcut needs Ctrl, Alt or Super. The shortcut stays %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 could not be registered (another application may use it). The shortcut stays %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShortcutText</name>
    <message>
        <source>Super</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusBarManager</name>
    <message>
        <source>show_panel</source>
        <translation>Show Panel</translation>
    </message>
    <message>
        <source>Tindralume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <comment>Check for application updates</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Tindralume</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StoreFiles</name>
    <message>
        <source>Cannot create the directory %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot create the store file %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateManager</name>
    <message>
        <source>A new version of Tindralume is available!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tindralume %1 is now available. You have %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Download Page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Later</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You&apos;re up to date!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tindralume %1 is currently the newest version available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update Error!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No update feed is configured.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>The update feed is larger than %1 MB.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed could not be loaded: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed could not be loaded: HTTP status %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed address &quot;%1&quot; is not an http or https URL.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed did not finish loading within %1 seconds.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed redirects to an address that is not http or https; it was not followed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update feed redirects from https to http; it was not followed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
