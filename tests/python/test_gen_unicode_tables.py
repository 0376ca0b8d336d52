"""The Unicode table generator: its range arithmetic and its --check mode."""

import importlib.util
import sys
from pathlib import Path

import pytest

TOOL = Path(__file__).resolve().parents[2] / "tools" / "gen_unicode_tables.py"
spec = importlib.util.spec_from_file_location("gen_unicode_tables", TOOL)
gen = importlib.util.module_from_spec(spec)
spec.loader.exec_module(gen)

HAVE_UCD = (gen.DEFAULT_UCD / "UnicodeData.txt").is_file()


def test_sets_are_merged_in_scalar_order_without_surrogates():
    assert gen.normalize([(5, 9), (0, 4), (20, 30), (25, 26)]) == [(0, 9), (20, 30)]
    assert gen.normalize([(0xD000, 0xE100)]) == [(0xD000, 0xE100)]
    assert gen.normalize([(0xE000, 0xE001), (0xD000, 0xD7FF)]) == [(0xD000, 0xE001)]
    assert gen.normalize([(0xD000, 0xD7FE), (0xE000, 0xE001)]) == [
        (0xD000, 0xD7FE), (0xE000, 0xE001)]
    assert gen.normalize([(0xD800, 0xDFFF)]) == []
    assert gen.normalize([(0xDC00, 0xE000)]) == [(0xE000, 0xE000)]
    assert gen.normalize([(0xD7F0, 0xD800)]) == [(0xD7F0, 0xD7FF)]


def test_complement_and_difference():
    assert gen.complement([(0, 0x40), (0x5B, 0x10FFFF)]) == [(0x41, 0x5A)]
    assert gen.complement([(0x41, 0x5A)]) == [(0, 0x40), (0x5B, 0x10FFFF)]
    assert gen.complement([(0, 0xD7FF)]) == [(0xE000, 0x10FFFF)]
    assert gen.difference([(0, 100)], [(10, 20), (15, 30), (100, 200)]) == [(0, 9), (31, 99)]
    assert gen.difference([(0, 5), (10, 15)], [(3, 12)]) == [(0, 2), (13, 15)]


def test_loose_match_follows_the_cxx_rule():
    assert gen.loose_match("Is_Greek") == "greek"
    assert gen.loose_match(" IsGreek") == "isgreek"
    assert gen.loose_match("IsC") == "isc"
    assert gen.loose_match("V6_0") == "v60"
    assert gen.loose_match("Gr\u00e9ek") == "grek"


@pytest.mark.skipif(not HAVE_UCD, reason="no Unicode Character Database installed")
def test_check_reports_stale_tables(tmp_path, monkeypatch, capsys):
    stale = tmp_path / "unicode_tables.cpp"
    stale.write_text(gen.OUTPUT.read_text(encoding="utf-8") + "// edited\n", encoding="utf-8")
    monkeypatch.setattr(gen, "OUTPUT", stale)
    monkeypatch.setattr(gen, "REPO", tmp_path)
    monkeypatch.setattr(sys, "argv", ["gen_unicode_tables.py", "--check"])
    assert gen.main() == 1
    assert "out of date" in capsys.readouterr().err
    monkeypatch.setattr(sys, "argv", ["gen_unicode_tables.py"])
    assert gen.main() == 0
    monkeypatch.setattr(sys, "argv", ["gen_unicode_tables.py", "--check"])
    assert gen.main() == 0


def test_check_is_skipped_without_a_database(tmp_path, monkeypatch, capsys):
    monkeypatch.setattr(sys, "argv", ["gen_unicode_tables.py", "--check", "--ucd", str(tmp_path)])
    assert gen.main() == 0
    assert "skipped" in capsys.readouterr().out
