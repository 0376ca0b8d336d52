from typing import List, Optional, final

__all__ = ["Scanner", "TokenMatch"]

class PanicException(BaseException):
    """Raised when the scanner engine aborts a call on an internal failure."""

@final
class Scanner:
    """A scanner engine built from a quarn definition.

    Use `Scanner(definition)` to create a new instance.
    """

    def __new__(cls, definition: str) -> "Scanner": ...
    def find_matches(self, input: str) -> List["TokenMatch"]:
        """Finds all matches in the input string."""
    def find_matches_with_position(self, input: str) -> List["TokenMatch"]:
        """Finds all matches in the input string, including line and column information."""

@final
class TokenMatch:
    """Represents a single token match."""

    @property
    def token_type(self) -> int: ...
    @property
    def start(self) -> int: ...
    @property
    def end(self) -> int: ...
    @property
    def text(self) -> str: ...
    @property
    def start_line(self) -> Optional[int]: ...
    @property
    def start_column(self) -> Optional[int]: ...
    @property
    def end_line(self) -> Optional[int]: ...
    @property
    def end_column(self) -> Optional[int]: ...
