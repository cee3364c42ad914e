// Page fetcher.
