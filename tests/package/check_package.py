#!/usr/bin/python3
"""Builds the Debian package of a build folder with CPack and checks what a packager would.

The package holds both programs, the launcher, the icon, the AppStream metadata, both manual
pages and the bash completion; it depends on the libraries the programs link; lintian reports no
error; the launcher and metadata pass their validators; the manual page and the completion know
every option of `tessane-cli --help`.

  check_package.py BUILD_DIR
"""

import gzip
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

EXPECTED = [
    "./usr/bin/tessane",
    "./usr/bin/tessane-cli",
    "./usr/share/applications/tessane.desktop",
    "./usr/share/icons/hicolor/scalable/apps/tessane.svg",
    "./usr/share/metainfo/com.tessane.Tessane.metainfo.xml",
    "./usr/share/man/man1/tessane.1.gz",
    "./usr/share/man/man1/tessane-cli.1.gz",
    "./usr/share/bash-completion/completions/tessane-cli",
    "./usr/share/doc/tessane/copyright",
    "./usr/share/doc/tessane/changelog.gz",
]
# Libraries the programs link, by the start of their Debian package names.
DEPENDS = ["libqt6widgets6", "libqt6gui6", "libqt6core6", "libjpeg62-turbo", "libtiff6",
           "libopenjp2-7", "zlib1g", "libstdc++6", "libc6",
           "libwebp7", "libwebpmux3", "libheif1", "liblcms2-2"]
# ... and the readers of HEIF/AVIF, WebP and JPEG XL that tessane-cli adds.
DEPENDS += ["libwebpdemux2", "libjxl0.7"]

failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
        print("FAIL:", message)


def run(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw).stdout


def complete(completion, cwd, *words):
    """What the completion offers for the last of `words` (the command line so far)."""
    quoted = " ".join("'" + w + "'" for w in words)
    script = (f"source '{completion}'; COMP_WORDS=({quoted}); COMP_CWORD={len(words) - 1}; "
              "_tessane_cli; printf '%s\\n' \"${COMPREPLY[@]}\"")
    out = subprocess.run(["bash", "-c", script], cwd=cwd, check=True, capture_output=True,
                         text=True).stdout
    return sorted(line for line in out.splitlines() if line)


def main():
    build = Path(sys.argv[1]).resolve()
    with tempfile.TemporaryDirectory(prefix="tessane-package-") as tmp:
        tmp = Path(tmp)
        run("cpack", "--config", str(build / "CPackConfig.cmake"), "-B", str(tmp / "out"))
        debs = list((tmp / "out").glob("tessane_*.deb"))
        if len(debs) != 1:
            print("FAIL: cpack made", debs)
            return 1
        deb = debs[0]

        listing = run("dpkg-deb", "-c", str(deb))
        paths = {line.split()[-1] for line in listing.splitlines()}
        for path in EXPECTED:
            check(path in paths, f"{path} missing from the package")
        for line in listing.splitlines():
            check(" root/root " in line, f"not owned by root: {line}")

        depends = run("dpkg-deb", "-f", str(deb), "Depends")
        for name in DEPENDS:
            check(re.search(rf"(^|, ){re.escape(name)}\b", depends) is not None,
                  f"Depends lacks {name}: {depends.strip()}")

        # lintian's warnings are advice; an error would keep the package out of any archive.
        lint = subprocess.run(["lintian", "--fail-on", "error", "--no-tag-display-limit",
                               str(deb)], capture_output=True, text=True)
        print(lint.stdout, end="")
        check(lint.returncode == 0, "lintian reports errors:\n" + lint.stdout + lint.stderr)

        root = tmp / "root"
        run("dpkg-deb", "-x", str(deb), str(root))
        share = root / "usr/share"
        metainfo = share / "metainfo/com.tessane.Tessane.metainfo.xml"
        valid = subprocess.run(["appstreamcli", "validate", "--no-net", str(metainfo)],
                               capture_output=True, text=True)
        check(valid.returncode == 0, "appstreamcli rejects the metadata:\n" + valid.stdout)
        if shutil.which("desktop-file-validate"):
            valid = subprocess.run(["desktop-file-validate",
                                    str(share / "applications/tessane.desktop")],
                                   capture_output=True, text=True)
            check(valid.returncode == 0 and "error" not in valid.stdout,
                  "desktop-file-validate: " + valid.stdout)

        help_text = run(str(root / "usr/bin/tessane-cli"), "--help")
        version = run(str(root / "usr/bin/tessane-cli"), "--version").split()[-1]
        check(version == run("dpkg-deb", "-f", str(deb), "Version").strip(),
              f"tessane-cli --version says {version}")
        options = set(re.findall(r"(?m)^\s+(?:-\w,)?(--[\w-]+)", help_text))
        check("--dest" in options and "--format" in options, "no options read from --help")
        page = gzip.decompress((share / "man/man1/tessane-cli.1.gz").read_bytes()).decode()
        page = page.replace("\\-", "-")
        completion = (share / "bash-completion/completions/tessane-cli").read_text()
        for option in sorted(options):
            check(option in page, f"{option} missing from tessane-cli(1)")
            check(re.search(rf"[\s\"]{re.escape(option)}[\s\"]", completion) is not None,
                  f"{option} missing from the completion")

        # The completion at work: value lists, option names, folders for --dest, files last.
        work = tmp / "work"
        (work / "photos").mkdir(parents=True)
        (work / "photo.jpg").write_bytes(b"")
        file = share / "bash-completion/completions/tessane-cli"
        cases = [
            (("tessane-cli", "--format", ""),
             ["avif", "bmp", "emf", "gif", "jp2", "jpg", "png", "source", "webp"]),
            (("tessane-cli", "-F", "b"), ["bell", "box", "bspline"]),
            (("tessane-cli", "--mode", "w"), ["width"]),
            (("tessane-cli", "--background", "whi"), ["white"]),
            (("tessane-cli", "--no-sub"), ["--no-subfolders"]),
            (("tessane-cli", "--dest", "p"), ["photos"]),
            (("tessane-cli", "--dest", "=", "p"), ["photos"]),
            (("tessane-cli", "-s", ""), []),
            (("tessane-cli", "-d", "out", "p"), ["photo.jpg", "photos"]),
        ]
        for words, expected in cases:
            got = complete(file, work, *words)
            check(got == expected, f"completing {words[1:]}: {got}, expected {expected}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
