class NelvorConnectionError(Exception):
    """Failure of a storage connection; carries one message text."""

    def __init__(self, message: str) -> None:
        super().__init__(message)
        self.message = message

    def __str__(self) -> str:
        return self.message
