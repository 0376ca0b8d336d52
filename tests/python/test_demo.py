import pathlib
import subprocess
import sys

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def test_demo_runs_on_the_bundled_example():
    out = subprocess.run(
        [sys.executable, str(EXAMPLES / "demo.py")], check=True, capture_output=True, text=True
    ).stdout.splitlines()
    assert out[0].split() == ["start", "end", "bytes", "type", "text"]
    # The string mode is entered and left; byte spans count UTF-8 bytes.
    assert "    3:9    3:16    30-39    10 string    'Grüße, '" in out
    assert out[-1].split() == ["6:14", "7:1", "89-90", "9", "newline", "'\\n'"]
