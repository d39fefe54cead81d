"""release_build.py - the Release build of vantorelle-decode that every benchmark measures."""
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
RELEASE = ROOT / "build" / "bench" / "release"


def build_decoder():
    """Builds vantorelle-decode (Release, no Qt, no tests) and returns its path."""
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(RELEASE), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DVANTORELLE_BUILD_QT=OFF",
                    "-DVANTORELLE_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["ninja", "-C", str(RELEASE), "-j2", "vantorelle-decode"], check=True,
                   stdout=subprocess.DEVNULL)
    return RELEASE / "app" / "cli" / "vantorelle-decode"
