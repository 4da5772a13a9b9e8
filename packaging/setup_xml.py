"""Writes _setup.xml, the provisioning document that the installers of
OS 5.1 and later follow when a cabinet holds one: the Install
characteristic, the FileOperation that extracts the program and makes its
Start-menu shortcut, and an empty Registry characteristic, in the shape
cabwiz writes (docs/cabwiz-output.md)."""

import xml.etree.ElementTree as ET

import install_layout as layout
import installer  # wince_facts/, on the path install_layout sets


def signed32(value):
    """The installer reads build numbers as signed 32-bit values."""
    return value - (1 << 32) if value >= 1 << 31 else value


def add(parent, tag, **attributes):
    return ET.SubElement(parent, tag, attributes)


def install_characteristic(root, os_version_min, provider):
    install = add(root, "characteristic", type="Install")
    # The installer lists the program under Remove Programs as "<provider> <name>".
    full_name = f"{layout.installer_provider(provider)} {layout.APP_NAME}"
    parms = [
        ("InstallPhase", "install"),
        ("OSVersionMin", "%d.%d" % os_version_min),
        ("OSVersionMax", "%d.%d" % installer.OS_VERSION_MAX),
        ("BuildNumberMin", str(signed32(installer.BUILD_NUMBER_MIN))),
        ("BuildNumberMax", str(signed32(installer.BUILD_NUMBER_MAX))),
        ("AppName", full_name),
        ("InstallDir", layout.INSTALL_DIR),
        ("NumDirs", "1"),
        ("NumFiles", "1"),
        ("NumRegKeys", "0"),
        ("NumRegVals", "0"),
        ("NumShortcuts", "1"),
    ]
    for name, value in parms:
        parm = add(install, "parm", name=name, value=value)
        if name == "InstallDir":
            parm.set("translation", "install")


def directory_with_file(parent, directory, file_name, operation, source):
    folder = add(parent, "characteristic", type=directory, translation="install")
    add(folder, "characteristic", type="MakeDir")
    entry = add(folder, "characteristic", type=file_name, translation="install")
    action = add(entry, "characteristic", type=operation)
    parm = add(action, "parm", name="Source", value=source)
    if operation == "Shortcut":
        parm.set("translation", "install")


def file_operation_characteristic(root):
    operations = add(root, "characteristic", type="FileOperation")
    directory_with_file(operations, "%InstallDir%", layout.PROGRAM, "Extract",
                        layout.PROGRAM_MEMBER)
    directory_with_file(operations, f"%CE{layout.SHORTCUT_DIR_NUMBER}%", layout.SHORTCUT,
                        "Shortcut", f"%InstallDir%\\{layout.PROGRAM}")


def setup_xml(os_version_min, provider):
    root = ET.Element("wap-provisioningdoc")
    install_characteristic(root, os_version_min, provider)
    file_operation_characteristic(root)
    # cabwiz writes it even with no keys, its start and end tags on two lines.
    add(root, "characteristic", type="Registry").text = "\n"
    # As cabwiz: no declaration, one element a line, no indentation, CRLF,
    # no line end after the last tag.
    ET.indent(root, space="")
    return ET.tostring(root, encoding="unicode").replace("\n", "\r\n").encode("ascii")
