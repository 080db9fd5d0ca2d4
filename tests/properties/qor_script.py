"""Running a generated script through the real `qor` for the property tests."""
import os
import shutil
import subprocess
import tempfile


def run(qor, lines):
    """Runs the lines as one script (a "Qor []" header first) in a fresh home
    directory and answers the lines it printed."""
    with tempfile.NamedTemporaryFile("w", suffix=".qor", delete=False) as f:
        f.write("Qor []\n" + "\n".join(lines) + "\n")
        script = f.name
    home = tempfile.mkdtemp(prefix="qor-property-home-")
    try:
        done = subprocess.run([qor, script], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600,
                              env=dict(os.environ, HOME=home))
    finally:
        os.unlink(script)
        shutil.rmtree(home, ignore_errors=True)
    return done.stdout.decode().splitlines()
