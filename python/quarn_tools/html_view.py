"""A self-contained HTML page of a text coloured by token type."""

from __future__ import annotations

import html
from typing import Iterable, Mapping, NamedTuple, Optional


class ShownToken(NamedTuple):
    type: int
    start: int  # byte offsets into the UTF-8 text
    end: int
    start_line: int
    start_column: int
    end_line: int
    end_column: int


def _colour(token_type: int) -> str:
    # Golden-ratio hues keep neighbouring type numbers apart.
    hue = (token_type * 137.508) % 360
    return f"hsl({hue:.0f}, 70%, 85%)"


_STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
pre { font-family: monospace; font-size: 14px; line-height: 1.5; white-space: pre-wrap;
      border: 1px solid #ccc; padding: 1em; background: #fff; }
pre span { border-radius: 2px; }
pre span:hover { outline: 2px solid #333; }
.legend { display: flex; flex-wrap: wrap; gap: .5em; margin-bottom: 1em; font-size: 13px; }
.legend span { padding: .2em .6em; border-radius: 3px; font-family: monospace; }
"""


def render(
    title: str,
    text: str,
    tokens: Iterable[ShownToken],
    names: Optional[Mapping[int, str]] = None,
) -> str:
    """The page: the text with one coloured span per token (its type, name,
    byte span and line:column range on hover) and a legend of the types."""
    names = names or {}
    data = text.encode("utf-8")
    parts: list[str] = []
    seen: dict[int, int] = {}
    position = 0
    for token in tokens:
        if token.start > position:
            parts.append(html.escape(data[position : token.start].decode("utf-8")))
        seen[token.type] = seen.get(token.type, 0) + 1
        name = names.get(token.type)
        label = f"type {token.type}" + (f" ({name})" if name else "")
        hover = (
            f"{label}, bytes {token.start}-{token.end}, "
            f"{token.start_line}:{token.start_column}-{token.end_line}:{token.end_column}"
        )
        parts.append(
            f'<span class="t{token.type}" style="background:{_colour(token.type)}" '
            f'title="{html.escape(hover)}">'
            f"{html.escape(data[token.start : token.end].decode('utf-8'))}</span>"
        )
        position = token.end
    parts.append(html.escape(data[position:].decode("utf-8")))
    legend = "".join(
        f'<span style="background:{_colour(t)}">{t}'
        f"{' ' + html.escape(names[t]) if t in names else ''} &times; {count}</span>"
        for t, count in sorted(seen.items())
    )
    return (
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
        f"<title>{html.escape(title)}</title><style>{_STYLE}</style></head>\n"
        f"<body><h1>{html.escape(title)}</h1>\n<div class=\"legend\">{legend}</div>\n"
        f"<pre>{''.join(parts)}</pre>\n</body></html>\n"
    )
