"""release_build.py - the Release build of the programs that the benchmarks measure."""
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
RELEASE = ROOT / "build" / "bench" / "release"


def build_program(target, built_path):
    """Builds one program (Release, no Qt, no tests) and returns its path below the build folder."""
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(RELEASE), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DVANTORELLE_BUILD_QT=OFF",
                    "-DVANTORELLE_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["ninja", "-C", str(RELEASE), "-j2", target], check=True,
                   stdout=subprocess.DEVNULL)
    return RELEASE / built_path


def build_decoder():
    """Builds vantorelle-decode and returns its path."""
    return build_program("vantorelle-decode", "app/cli/vantorelle-decode")
